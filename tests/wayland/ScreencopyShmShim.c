// Test harness only, never shipped: preloaded into xdg-desktop-portal-wlr on the headless test
// compositor. That portal backend (0.7) refuses to start a screen cast unless the compositor
// offers a DMA-BUF format for screencopy, and a compositor without a GPU (pixman renderer) offers
// only shared memory. The shim wraps the screencopy frame listener so that every shared-memory
// buffer offer is also presented as the DMA-BUF offer; the portal then starts, and with no GPU to
// allocate DMA-BUFs it negotiates shared-memory buffers with PipeWire, which is what the frames
// use. Nothing else is touched.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <string.h>

struct wl_proxy;

typedef void (*Callback)(void);
typedef int (*AddListener)(struct wl_proxy*, Callback*, void*);
typedef const char* (*GetClass)(struct wl_proxy*);

// zwlr_screencopy_frame_v1 events, in listener order.
enum { kBuffer, kFlags, kReady, kFailed, kDamage, kLinuxDmabuf, kBufferDone, kEventCount };

static Callback* original_listener;
static Callback wrapped_listener[kEventCount];

// wl_shm formats 0 and 1 are the only ones whose codes differ from the DRM fourcc codes.
static uint32_t DrmFormat(uint32_t shm_format) {
    if (shm_format == 0) return 0x34325241;  // 'AR24'
    if (shm_format == 1) return 0x34325258;  // 'XR24'
    return shm_format;
}

static void OnBuffer(void* data, void* frame, uint32_t format, uint32_t width, uint32_t height,
                     uint32_t stride) {
    typedef void (*BufferEvent)(void*, void*, uint32_t, uint32_t, uint32_t, uint32_t);
    typedef void (*DmabufEvent)(void*, void*, uint32_t, uint32_t, uint32_t);
    ((BufferEvent)original_listener[kBuffer])(data, frame, format, width, height, stride);
    if (original_listener[kLinuxDmabuf] != NULL)
        ((DmabufEvent)original_listener[kLinuxDmabuf])(data, frame, DrmFormat(format), width,
                                                       height);
}

int wl_proxy_add_listener(struct wl_proxy* proxy, Callback* implementation, void* data) {
    static AddListener next_add;
    static GetClass get_class;
    if (next_add == NULL) {
        next_add = (AddListener)dlsym(RTLD_NEXT, "wl_proxy_add_listener");
        get_class = (GetClass)dlsym(RTLD_NEXT, "wl_proxy_get_class");
    }
    const char* name = get_class != NULL ? get_class(proxy) : NULL;
    if (name != NULL && strcmp(name, "zwlr_screencopy_frame_v1") == 0) {
        original_listener = implementation;
        memcpy(wrapped_listener, implementation, sizeof wrapped_listener);
        wrapped_listener[kBuffer] = (Callback)OnBuffer;
        implementation = wrapped_listener;
    }
    return next_add(proxy, implementation, data);
}
