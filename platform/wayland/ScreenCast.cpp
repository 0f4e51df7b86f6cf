#include "platform/wayland/ScreenCast.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/CaptureBackend.h"
#include "platform/Debug.h"
#include "platform/NoDestructor.h"
#include "platform/wayland/CastMeta.h"
#include "platform/wayland/PortalSession.h"

namespace platform::wayland {

namespace {

constexpr auto kFormatTimeout = std::chrono::seconds(5);
// Some portals (xdg-desktop-portal-wlr) send the first frame only at the screen's next change: a
// cast whose format is settled starts without it, and reads fail until that frame comes.
constexpr auto kFirstFrameWait = std::chrono::milliseconds(1500);
// A damage list longer than this is replaced by the whole screen: the box query would merge it
// to that anyway, and the list must not grow without bound while nobody asks.
constexpr size_t kMaxPendingRects = 1024;
constexpr int kMaxCursorSide = 256;
constexpr int kMaxDamageRegions = 16;
constexpr uint32_t kMaxFrameSide = 1u << 16;
// Room for the largest cursor bitmap the stream may send (RGBA).
constexpr size_t kCursorMetaBytes =
    sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + size_t{kMaxCursorSide} * kMaxCursorSide * 4;

struct ThreadLoopDeleter {
    void operator()(pw_thread_loop* loop) const { pw_thread_loop_destroy(loop); }
};
struct ContextDeleter {
    void operator()(pw_context* context) const { pw_context_destroy(context); }
};
struct CoreDeleter {
    void operator()(pw_core* core) const { pw_core_disconnect(core); }
};
struct RegistryDeleter {
    void operator()(pw_registry* registry) const {
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
    }
};
struct StreamDeleter {
    void operator()(pw_stream* stream) const { pw_stream_destroy(stream); }
};

// Converts one cursor pixel of the stream's bitmap to premultiplied ARGB.
uint32_t CursorPixel(const uint8_t* p, uint32_t format) {
    uint32_t r, g, b, a;
    switch (format) {
        case SPA_VIDEO_FORMAT_BGRA:
            b = p[0], g = p[1], r = p[2], a = p[3];
            break;
        case SPA_VIDEO_FORMAT_ARGB:
            a = p[0], r = p[1], g = p[2], b = p[3];
            break;
        case SPA_VIDEO_FORMAT_ABGR:
            a = p[0], b = p[1], g = p[2], r = p[3];
            break;
        default:
            r = p[0], g = p[1], b = p[2], a = p[3];
            break;  // RGBA
    }
    r = r * a / 255;
    g = g * a / 255;
    b = b * a / 255;
    return a << 24 | r << 16 | g << 8 | b;
}

class PipeWireScreenCast final : public ScreenCast {
  public:
    // The stream and the connection go on the loop's thread's terms, then the loop stops, and
    // the context goes before the loop it lives on.
    ~PipeWireScreenCast() override {
        if (loop_) {
            pw_thread_loop_lock(loop_.get());
            closing_ = true;
            stream_.reset();
            registry_.reset();
            core_.reset();
            pw_thread_loop_unlock(loop_.get());
            pw_thread_loop_stop(loop_.get());
        }
        context_.reset();
        loop_.reset();
        portal_.reset();
    }

    // Through the portal.
    bool Start(std::string* error) {
        PortalStream portal_stream;
        portal_ = PortalSession::Open(&portal_stream, error, [this] {
            End("the desktop ended the screen sharing (the portal session was closed)");
        });
        if (!portal_) return false;
        return StartStream(std::move(portal_stream), error);
    }

    // On the stream of the given remote (the session's own PipeWire when it has none) and node.
    bool StartStream(PortalStream portal_stream, std::string* error) {
        pw_init(nullptr, nullptr);
        loop_.reset(pw_thread_loop_new("beamora-cast", nullptr));
        if (!loop_) {
            *error = "cannot start PipeWire";
            return false;
        }
        context_.reset(pw_context_new(pw_thread_loop_get_loop(loop_.get()), nullptr, 0));
        if (!context_ || pw_thread_loop_start(loop_.get()) < 0) {
            *error = "cannot start PipeWire";
            return false;
        }
        pw_thread_loop_lock(loop_.get());
        bool connected = Connect(std::move(portal_stream), error);
        pw_thread_loop_unlock(loop_.get());
        if (!connected) return false;

        std::unique_lock lock(mutex_);
        if (!frame_ready_.wait_for(lock, kFormatTimeout,
                                   [this] { return width_ > 0 || !alive_; })) {
            *error = "the screen cast sent no picture";
            return false;
        }
        frame_ready_.wait_for(lock, kFirstFrameWait, [this] { return have_frame_ || !alive_; });
        if (!alive_) {
            *error = end_reason_;
            return false;
        }
        if (!have_frame_) platform::DebugOutput("screen cast: no picture yet\n");
        return true;
    }

    int Width() const override {
        std::lock_guard lock(mutex_);
        return width_;
    }
    int Height() const override {
        std::lock_guard lock(mutex_);
        return height_;
    }

    bool Alive(std::string* reason) const override {
        std::lock_guard lock(mutex_);
        if (!alive_ && reason != nullptr) *reason = end_reason_;
        return alive_;
    }

    bool ReadPixels(int x, int y, int width, int height, uint8_t* dst,
                    ptrdiff_t dst_stride) override {
        std::lock_guard lock(mutex_);
        if (!alive_ || !have_frame_ || x < 0 || y < 0 || width <= 0 || height <= 0 ||
            x + width > width_ || y + height > height_) {
            return false;
        }
        const size_t stride = static_cast<size_t>(width_) * 4;
        for (int row = 0; row < height; ++row) {
            std::memcpy(dst + row * dst_stride,
                        frame_.data() + (y + row) * stride + static_cast<size_t>(x) * 4,
                        static_cast<size_t>(width) * 4);
        }
        return true;
    }

    bool TakeDamage(std::vector<CastRect>* rects) override {
        std::lock_guard lock(mutex_);
        rects->clear();
        if (!alive_) return false;
        rects->swap(damage_);
        return true;
    }

    bool ReadCursor(CastCursor* cursor) override {
        std::lock_guard lock(mutex_);
        if (!alive_) return false;
        *cursor = cursor_;
        return true;
    }

  private:
    bool Connect(PortalStream portal_stream, std::string* error) {
        // pw_context_connect_fd takes the descriptor over.
        core_.reset(
            portal_stream.remote.get() >= 0
                ? pw_context_connect_fd(context_.get(), portal_stream.remote.release(), nullptr, 0)
                : pw_context_connect(context_.get(), nullptr, 0));
        if (!core_) {
            *error = "cannot connect to the screen cast's PipeWire remote";
            return false;
        }
        // The cast's node going away is how a desktop that ends the cast without closing the
        // portal session (its portal backend gone) shows.
        node_id_ = portal_stream.node_id;
        registry_.reset(pw_core_get_registry(core_.get(), PW_VERSION_REGISTRY, 0));
        if (registry_) {
            static const pw_registry_events registry_events = [] {
                pw_registry_events e{};
                e.version = PW_VERSION_REGISTRY_EVENTS;
                e.global_remove = [](void* self, uint32_t id) {
                    auto* cast = static_cast<PipeWireScreenCast*>(self);
                    if (id == cast->node_id_ && !cast->closing_)
                        cast->End("the desktop ended the screen sharing (its stream is gone)");
                };
                return e;
            }();
            pw_registry_add_listener(registry_.get(), &registry_listener_, &registry_events, this);
        }
        stream_.reset(
            pw_stream_new(core_.get(), "beamora-screen",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
        if (!stream_) {
            *error = "cannot make the PipeWire stream";
            return false;
        }
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = [](void* self, pw_stream_state, pw_stream_state state,
                                 const char* message) {
                static_cast<PipeWireScreenCast*>(self)->OnState(state, message);
            };
            e.param_changed = [](void* self, uint32_t id, const spa_pod* param) {
                static_cast<PipeWireScreenCast*>(self)->OnParam(id, param);
            };
            e.process = [](void* self) { static_cast<PipeWireScreenCast*>(self)->OnProcess(); };
            return e;
        }();
        pw_stream_add_listener(stream_.get(), &listener_, &events, this);

        uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_rectangle size_default = SPA_RECTANGLE(1024, 768);
        spa_rectangle size_min = SPA_RECTANGLE(1, 1);
        spa_rectangle size_max = SPA_RECTANGLE(8192, 8192);
        spa_fraction rate_default = SPA_FRACTION(30, 1);
        spa_fraction rate_min = SPA_FRACTION(0, 1);
        spa_fraction rate_max = SPA_FRACTION(240, 1);
        const spa_pod* params[1];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                                   SPA_VIDEO_FORMAT_BGRA),
            SPA_FORMAT_VIDEO_size,
            SPA_POD_CHOICE_RANGE_Rectangle(&size_default, &size_min, &size_max),
            SPA_FORMAT_VIDEO_framerate,
            SPA_POD_CHOICE_RANGE_Fraction(&rate_default, &rate_min, &rate_max)));
        if (pw_stream_connect(stream_.get(), PW_DIRECTION_INPUT, portal_stream.node_id,
                              static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT |
                                                           PW_STREAM_FLAG_MAP_BUFFERS),
                              params, 1) < 0) {
            *error = "cannot connect to the screen cast's stream";
            return false;
        }
        return true;
    }

    void End(const std::string& reason) {
        {
            std::lock_guard lock(mutex_);
            if (!alive_) return;
            alive_ = false;
            end_reason_ = reason;
        }
        platform::DebugFormat("screen cast: %s\n", reason.c_str());
        frame_ready_.notify_all();
    }

    // The loop's thread, from here on.
    void OnState(pw_stream_state state, const char* message) {
        if (closing_) return;
        platform::DebugFormat("screen cast: stream %s\n", pw_stream_state_as_string(state));
        if (state == PW_STREAM_STATE_STREAMING) streaming_ = true;
        if (state == PW_STREAM_STATE_ERROR) {
            End(std::string("the screen cast stream failed: ") +
                (message != nullptr ? message : "unknown error"));
        } else if (state == PW_STREAM_STATE_UNCONNECTED && streaming_) {
            End("the screen cast stream was disconnected");
        }
    }

    void OnParam(uint32_t id, const spa_pod* param) {
        if (param == nullptr || id != SPA_PARAM_Format) return;
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0) return;
        if (info.format != SPA_VIDEO_FORMAT_BGRx && info.format != SPA_VIDEO_FORMAT_BGRA) {
            End("the screen cast offers no 32-bit BGR picture");
            return;
        }
        negotiated_width_ = static_cast<int>(info.size.width);
        negotiated_height_ = static_cast<int>(info.size.height);
        if (negotiated_width_ > 0 && negotiated_height_ > 0) {
            std::lock_guard lock(mutex_);
            if (negotiated_width_ != width_ || negotiated_height_ != height_) {
                width_ = negotiated_width_;
                height_ = negotiated_height_;
                frame_.assign(static_cast<size_t>(width_) * height_ * 4, 0);
                have_frame_ = false;
            }
            frame_ready_.notify_all();
        }
        uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod* params[3];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_VideoDamage), SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(sizeof(spa_meta_region) * kMaxDamageRegions,
                                     sizeof(spa_meta_region),
                                     sizeof(spa_meta_region) * kMaxDamageRegions)));
        params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(kCursorMetaBytes, sizeof(spa_meta_cursor), kCursorMetaBytes)));
        pw_stream_update_params(stream_.get(), params, 3);
    }

    void OnProcess() {
        pw_buffer* newest = nullptr;
        // Only the newest frame matters; older ones are handed back at once, but their damage
        // counts too.
        std::vector<CastRect> damage;
        bool whole = false;
        while (pw_buffer* b = pw_stream_dequeue_buffer(stream_.get())) {
            if (newest != nullptr) pw_stream_queue_buffer(stream_.get(), newest);
            newest = b;
            CollectDamage(b->buffer, &damage, &whole);
            ReadCursorMeta(b->buffer);
        }
        if (newest == nullptr) return;
        TakeFrame(newest->buffer, damage, whole);
        pw_stream_queue_buffer(stream_.get(), newest);
    }

    void CollectDamage(spa_buffer* buffer, std::vector<CastRect>* damage, bool* whole) {
        const spa_data& data = buffer->datas[0];
        if (data.chunk == nullptr || data.chunk->size == 0) return;  // no new picture (cursor only)
        auto* meta = static_cast<spa_meta*>(spa_buffer_find_meta(buffer, SPA_META_VideoDamage));
        if (meta == nullptr) {
            *whole = true;
            return;
        }
        spa_meta_region* region;
        spa_meta_for_each(region, meta) {
            if (!spa_meta_region_is_valid(region)) break;
            // Sizes beyond any screen are cut, so that they stay positive as ints.
            damage->push_back(
                {region->region.position.x, region->region.position.y,
                 static_cast<int>(std::min<uint32_t>(region->region.size.width, kMaxFrameSide)),
                 static_cast<int>(std::min<uint32_t>(region->region.size.height, kMaxFrameSide))});
        }
    }

    void ReadCursorMeta(spa_buffer* buffer) {
        auto* meta = static_cast<spa_meta*>(spa_buffer_find_meta(buffer, SPA_META_Cursor));
        if (meta == nullptr || meta->data == nullptr || meta->size < sizeof(spa_meta_cursor))
            return;
        auto* c = static_cast<spa_meta_cursor*>(meta->data);
        if (!spa_meta_cursor_is_valid(c)) return;
        std::lock_guard lock(mutex_);
        cursor_.known = true;
        cursor_.visible = true;
        cursor_.x = c->position.x;
        cursor_.y = c->position.y;
        if (c->bitmap_offset < sizeof(spa_meta_cursor)) return;  // same image as before
        if (c->bitmap_offset > meta->size ||
            meta->size - c->bitmap_offset < sizeof(spa_meta_bitmap))
            return;
        auto* bitmap =
            reinterpret_cast<spa_meta_bitmap*>(reinterpret_cast<uint8_t*>(c) + c->bitmap_offset);
        if (!spa_meta_bitmap_is_valid(bitmap)) return;
        const int w = static_cast<int>(bitmap->size.width);
        const int h = static_cast<int>(bitmap->size.height);
        if (bitmap->offset < sizeof(spa_meta_bitmap) || w <= 0 || h <= 0) {
            cursor_.visible = false;  // no image: the pointer is hidden
            return;
        }
        if (!CursorBitmapFits(meta->size, sizeof(spa_meta_cursor), sizeof(spa_meta_bitmap),
                              c->bitmap_offset, bitmap->offset, bitmap->stride, w, h,
                              kMaxCursorSide)) {
            return;
        }
        const auto* pixels = reinterpret_cast<const uint8_t*>(bitmap) + bitmap->offset;
        cursor_.width = w;
        cursor_.height = h;
        cursor_.hot_x = c->hotspot.x;
        cursor_.hot_y = c->hotspot.y;
        cursor_.argb.resize(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                cursor_.argb[static_cast<size_t>(y) * w + x] =
                    CursorPixel(pixels + y * bitmap->stride + x * 4, bitmap->format);
            }
        }
    }

    void TakeFrame(spa_buffer* buffer, const std::vector<CastRect>& damage, bool whole) {
        const spa_data& data = buffer->datas[0];
        if (data.data == nullptr || data.chunk == nullptr || data.chunk->size == 0) return;
        if (buffer->n_metas > 0) {
            auto* header = static_cast<spa_meta_header*>(
                spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
            if (header != nullptr && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED)) return;
        }
        const int width = negotiated_width_;
        const int height = negotiated_height_;
        if (width <= 0 || height <= 0) return;
        const int32_t stride = data.chunk->stride > 0 ? data.chunk->stride : width * 4;
        const size_t needed = static_cast<size_t>(stride) * (height - 1) + size_t{4} * width;
        if (stride < width * 4 || data.chunk->offset > data.maxsize ||
            needed > data.maxsize - data.chunk->offset) {
            return;
        }
        const auto* pixels = static_cast<const uint8_t*>(data.data) + data.chunk->offset;

        std::lock_guard lock(mutex_);
        if (width != width_ || height != height_ || !have_frame_) {
            width_ = width;
            height_ = height;
            frame_.resize(static_cast<size_t>(width) * height * 4);
            whole = true;
            have_frame_ = true;
        }
        const size_t frame_stride = static_cast<size_t>(width) * 4;
        auto copy = [&](const CastRect& r) {
            for (int row = r.y; row < r.y + r.height; ++row) {
                std::memcpy(
                    frame_.data() + row * frame_stride + static_cast<size_t>(r.x) * 4,
                    pixels + static_cast<size_t>(row) * stride + static_cast<size_t>(r.x) * 4,
                    static_cast<size_t>(r.width) * 4);
            }
        };
        if (whole) {
            copy({0, 0, width, height});
            damage_.assign(1, CastRect{0, 0, width, height});
        } else {
            for (const CastRect& d : damage) {
                // Clipped to the frame: the metadata comes from another process.
                int64_t x = d.x, y = d.y, w = d.width, h = d.height;
                if (!ClipToFrame(&x, &y, &w, &h, width, height)) continue;
                const CastRect r{static_cast<int>(x), static_cast<int>(y), static_cast<int>(w),
                                 static_cast<int>(h)};
                copy(r);
                if (damage_.size() < kMaxPendingRects) {
                    damage_.push_back(r);
                } else {
                    damage_.assign(1, CastRect{0, 0, width, height});
                }
            }
        }
        frame_ready_.notify_all();
    }

    // The negotiated frame size; the loop's thread only.
    int negotiated_width_ = 0;
    int negotiated_height_ = 0;

    std::unique_ptr<PortalSession> portal_;
    std::unique_ptr<pw_thread_loop, ThreadLoopDeleter> loop_;
    std::unique_ptr<pw_context, ContextDeleter> context_;
    std::unique_ptr<pw_core, CoreDeleter> core_;
    std::unique_ptr<pw_registry, RegistryDeleter> registry_;
    std::unique_ptr<pw_stream, StreamDeleter> stream_;
    spa_hook listener_{};
    spa_hook registry_listener_{};
    uint32_t node_id_ = 0;
    bool streaming_ = false;  // the loop's thread only
    bool closing_ = false;    // set under the loop's lock while the stream is destroyed

    mutable std::mutex mutex_;
    std::condition_variable frame_ready_;
    bool alive_ = true;
    bool have_frame_ = false;  // frame_ holds a picture of the current size
    std::string end_reason_;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> frame_;    // the latest picture, width_ x height_ x 4, top-down
    std::vector<CastRect> damage_;  // collected since the last TakeDamage
    CastCursor cursor_;
};

struct Registry {
    std::mutex mutex;
    std::weak_ptr<ScreenCast> running;
    std::shared_ptr<ScreenCast> held;
    unsigned hold_generation = 0;
};

Registry& TheRegistry() {
    static NoDestructor<Registry> registry;
    return *registry;
}

// How long a cast opened for a size query waits for the capture to take it over.
constexpr auto kHoldTime = std::chrono::seconds(10);

}  // namespace

std::shared_ptr<ScreenCast> AcquireScreenCast(std::string* error) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    std::shared_ptr<ScreenCast> cast = r.running.lock();
    r.held.reset();
    if (cast && cast->Alive(nullptr)) return cast;
    auto fresh = std::make_shared<PipeWireScreenCast>();
    if (!fresh->Start(error)) return nullptr;
    r.running = fresh;
    return fresh;
}

std::shared_ptr<ScreenCast> OpenPipeWireNodeForTests(uint32_t node_id, std::string* error) {
    auto cast = std::make_shared<PipeWireScreenCast>();
    PortalStream stream;
    stream.node_id = node_id;
    if (!cast->StartStream(std::move(stream), error)) return nullptr;
    return cast;
}

std::shared_ptr<ScreenCast> RunningScreenCast() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return r.running.lock();
}

void HoldScreenCast(std::shared_ptr<ScreenCast> cast) {
    Registry& r = TheRegistry();
    unsigned generation;
    {
        std::lock_guard lock(r.mutex);
        r.held = std::move(cast);
        generation = ++r.hold_generation;
    }
    // Dropped after a while if no capture takes it, so that a size query alone never keeps the
    // screen shared.
    std::thread([generation] {
        std::this_thread::sleep_for(kHoldTime);
        Registry& reg = TheRegistry();
        std::shared_ptr<ScreenCast> dropped;
        std::lock_guard lock(reg.mutex);
        if (reg.hold_generation == generation) dropped = std::move(reg.held);
    }).detach();
}

void ReleaseHeldScreenCast() {
    Registry& r = TheRegistry();
    std::shared_ptr<ScreenCast> dropped;
    std::lock_guard lock(r.mutex);
    dropped = std::move(r.held);
}

}  // namespace platform::wayland

namespace platform {

bool PortalOffersScreenCast() {
    uint32_t version = 0;
    return wayland::PortalScreenCastVersion(&version, nullptr) && version >= 1;
}

bool PortalScreenSize(int* width, int* height) {
    std::shared_ptr<wayland::ScreenCast> cast = wayland::RunningScreenCast();
    if (!cast || !cast->Alive(nullptr)) {
        std::string error;
        cast = wayland::AcquireScreenCast(&error);
        if (!cast) {
            platform::DebugFormat("screen cast: %s\n", error.c_str());
            return false;
        }
        // Kept for the capture that normally follows at once, so that it starts on this cast.
        wayland::HoldScreenCast(cast);
    }
    *width = cast->Width();
    *height = cast->Height();
    return *width > 0 && *height > 0;
}

}  // namespace platform
