// The cast's metadata path, which the headless portal backend does not exercise (it draws the
// pointer into the frames): a PipeWire source of the test's own sends 64 x 48 BGRx frames with
// damage rectangles and cursor metadata, and the cast reads the frame, the damage and the pointer
// (position, hotspot, image) from it.
#include <gtest/gtest.h>
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/wayland/ScreenCast.h"
#include "tests/e2e/Processes.h"

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr uint32_t kFrameBytes = kWidth * kHeight * 4;
constexpr int kCursorSide = 16;
constexpr size_t kCursorMetaBytes =
    sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + kCursorSide * kCursorSide * 4;

// A driving PipeWire video source with buffers in memfds of its own: every Send() produces one
// frame of one colour, with the damage given and a red 16 x 16 pointer at (10, 20), hotspot (2, 3).
class TestSource {
  public:
    TestSource() {
        pw_init(nullptr, nullptr);
        loop_ = pw_thread_loop_new("test-source", nullptr);
        context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
        pw_thread_loop_start(loop_);
        pw_thread_loop_lock(loop_);
        core_ = pw_context_connect(context_, nullptr, 0);
        if (core_ != nullptr) Connect();
        pw_thread_loop_unlock(loop_);
    }
    ~TestSource() {
        pw_thread_loop_lock(loop_);
        if (stream_ != nullptr) pw_stream_destroy(stream_);
        if (core_ != nullptr) pw_core_disconnect(core_);
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
        pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
    }

    // The node id once the source is exported; 0 until then.
    uint32_t NodeId() {
        pw_thread_loop_lock(loop_);
        uint32_t id = stream_ != nullptr ? pw_stream_get_node_id(stream_) : SPA_ID_INVALID;
        pw_thread_loop_unlock(loop_);
        return id == SPA_ID_INVALID ? 0 : id;
    }
    bool Streaming() const { return streaming_.load(); }

    // The next frame: the whole picture in colour, damage as given (none: the whole frame).
    void Send(uint32_t colour, const spa_region* damage) {
        pw_thread_loop_lock(loop_);
        colour_ = colour;
        has_damage_ = damage != nullptr;
        if (damage != nullptr) damage_ = *damage;
        pw_stream_trigger_process(stream_);
        pw_thread_loop_unlock(loop_);
    }

  private:
    void Connect() {
        stream_ = pw_stream_new(core_, "beamora-test-source",
                                pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source",
                                                  PW_KEY_MEDIA_TYPE, "Video", nullptr));
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = [](void* self, pw_stream_state, pw_stream_state state, const char*) {
                static_cast<TestSource*>(self)->streaming_.store(state ==
                                                                 PW_STREAM_STATE_STREAMING);
            };
            e.param_changed = [](void* self, uint32_t id, const spa_pod* param) {
                static_cast<TestSource*>(self)->OnParam(id, param);
            };
            e.add_buffer = [](void*, pw_buffer* b) {
                spa_data& d = b->buffer->datas[0];
                d.type = SPA_DATA_MemFd;
                d.flags = SPA_DATA_FLAG_READWRITE;
                d.fd = memfd_create("test-source", MFD_CLOEXEC);
                d.mapoffset = 0;
                d.maxsize = kFrameBytes;
                if (d.fd < 0 || ftruncate(d.fd, kFrameBytes) != 0) return;
                void* p = mmap(nullptr, kFrameBytes, PROT_READ | PROT_WRITE, MAP_SHARED, d.fd, 0);
                d.data = p == MAP_FAILED ? nullptr : p;
            };
            e.remove_buffer = [](void*, pw_buffer* b) {
                spa_data& d = b->buffer->datas[0];
                if (d.data != nullptr) munmap(d.data, kFrameBytes);
                if (d.fd >= 0) close(static_cast<int>(d.fd));
            };
            e.process = [](void* self) { static_cast<TestSource*>(self)->OnProcess(); };
            return e;
        }();
        pw_stream_add_listener(stream_, &listener_, &events, this);
        uint8_t buffer[512];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_rectangle size = SPA_RECTANGLE(kWidth, kHeight);
        spa_fraction rate = SPA_FRACTION(0, 1);
        const spa_pod* params[1] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)))};
        pw_stream_connect(
            stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_ALLOC_BUFFERS),
            params, 1);
    }

    void OnParam(uint32_t id, const spa_pod* param) {
        if (param == nullptr || id != SPA_PARAM_Format) return;
        uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod* params[3];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_Int(4), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size,
            SPA_POD_Int(kFrameBytes), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(kWidth * 4),
            SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd)));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_VideoDamage), SPA_PARAM_META_size,
            SPA_POD_Int(sizeof(spa_meta_region) * 16)));
        params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size, SPA_POD_Int(kCursorMetaBytes)));
        pw_stream_update_params(stream_, params, 3);
    }

    void OnProcess() {
        pw_buffer* b = pw_stream_dequeue_buffer(stream_);
        if (b == nullptr) return;
        spa_buffer* buf = b->buffer;
        spa_data& d = buf->datas[0];
        if (d.data != nullptr && d.maxsize >= kFrameBytes) {
            auto* pixels = static_cast<uint32_t*>(d.data);
            for (int i = 0; i < kWidth * kHeight; ++i) pixels[i] = colour_;
            d.chunk->offset = 0;
            d.chunk->size = kFrameBytes;
            d.chunk->stride = kWidth * 4;
        }
        if (auto* meta = static_cast<spa_meta*>(spa_buffer_find_meta(buf, SPA_META_VideoDamage))) {
            std::memset(meta->data, 0, meta->size);
            auto* regions = static_cast<spa_meta_region*>(meta->data);
            regions[0].region = has_damage_ ? damage_ : spa_region{{0, 0}, {kWidth, kHeight}};
        }
        if (auto* c = static_cast<spa_meta_cursor*>(
                spa_buffer_find_meta_data(buf, SPA_META_Cursor, kCursorMetaBytes))) {
            c->id = 1;
            c->position = {10, 20};
            c->hotspot = {2, 3};
            c->bitmap_offset = sizeof(spa_meta_cursor);
            auto* bitmap = SPA_PTROFF(c, c->bitmap_offset, spa_meta_bitmap);
            bitmap->format = SPA_VIDEO_FORMAT_RGBA;
            bitmap->size = {kCursorSide, kCursorSide};
            bitmap->stride = kCursorSide * 4;
            bitmap->offset = sizeof(spa_meta_bitmap);
            auto* rgba = SPA_PTROFF(bitmap, bitmap->offset, uint8_t);
            for (int i = 0; i < kCursorSide * kCursorSide; ++i) {
                rgba[i * 4 + 0] = 0xFF;
                rgba[i * 4 + 1] = 0;
                rgba[i * 4 + 2] = 0;
                rgba[i * 4 + 3] = 0xFF;
            }
        }
        pw_stream_queue_buffer(stream_, b);
    }

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook listener_{};
    std::atomic<bool> streaming_{false};
    uint32_t colour_ = 0;
    bool has_damage_ = false;
    spa_region damage_{};
};

TEST(CastMetadata, FrameDamageAndPointerComeFromTheStream) {
    TestSource source;
    ASSERT_TRUE(e2e::WaitFor([&] { return source.NodeId() != 0; }, 5000));
    // The cast waits for its first frame a moment: the source sends frames meanwhile.
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        while (!stop.load()) {
            if (source.Streaming()) source.Send(0x00336699, nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::string error;
    auto cast = platform::wayland::OpenPipeWireNodeForTests(source.NodeId(), &error);
    stop.store(true);
    feeder.join();
    ASSERT_NE(cast, nullptr) << error;
    EXPECT_EQ(cast->Width(), kWidth);
    EXPECT_EQ(cast->Height(), kHeight);

    uint32_t pixel = 0;
    ASSERT_TRUE(cast->ReadPixels(5, 5, 1, 1, reinterpret_cast<uint8_t*>(&pixel), 4));
    EXPECT_EQ(pixel & 0xFFFFFF, 0x336699u);
    platform::wayland::CastCursor cursor;
    ASSERT_TRUE(cast->ReadCursor(&cursor));
    EXPECT_TRUE(cursor.known && cursor.visible);
    EXPECT_EQ((std::vector<int>{cursor.x, cursor.y, cursor.hot_x, cursor.hot_y, cursor.width,
                                cursor.height}),
              (std::vector<int>{10, 20, 2, 3, kCursorSide, kCursorSide}));
    ASSERT_EQ(cursor.argb.size(), size_t{kCursorSide * kCursorSide});
    EXPECT_EQ(cursor.argb[0], 0xFFFF0000u);  // opaque red, as ARGB

    // A frame whose damage is one small rectangle: it is reported, and only it is copied.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // frames still on their way
    std::vector<platform::wayland::CastRect> damage;
    ASSERT_TRUE(cast->TakeDamage(&damage));
    damage.clear();
    const spa_region small = {{8, 4}, {10, 6}};
    // A driver's trigger is dropped while the previous cycle is still under way: sent until seen.
    // (A frame of the feeder's may still come before, with its whole-frame damage.)
    auto is_small = [](const platform::wayland::CastRect& r) {
        return r.x == 8 && r.y == 4 && r.width == 10 && r.height == 6;
    };
    ASSERT_TRUE(e2e::WaitFor(
        [&] {
            source.Send(0x00FFFFFF, &small);
            std::vector<platform::wayland::CastRect> more;
            cast->TakeDamage(&more);
            damage.insert(damage.end(), more.begin(), more.end());
            return std::any_of(damage.begin(), damage.end(), is_small);
        },
        5000));
    ASSERT_TRUE(cast->ReadPixels(8, 4, 1, 1, reinterpret_cast<uint8_t*>(&pixel), 4));
    EXPECT_EQ(pixel & 0xFFFFFF, 0xFFFFFFu);
    ASSERT_TRUE(cast->ReadPixels(0, 0, 1, 1, reinterpret_cast<uint8_t*>(&pixel), 4));
    EXPECT_EQ(pixel & 0xFFFFFF, 0x336699u);
}

}  // namespace
