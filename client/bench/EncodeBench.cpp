// Throughput of the frame path: the pixel converters against a plain memory copy, and the full
// strip encoder against LZO1X-1 alone on the same converted strips, in the pixels sent (the limit
// of this codec).
// Rates are in input bytes per second: captured bytes for the converters and the copy, converted
// (wire) bytes for the encoder and bare LZO, so each pair compares directly.
#include <benchmark/benchmark.h>
#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "client/bench/BenchFrames.h"
#include "client/capture/PixelConvert.h"
#include "client/capture/PixelFormat.h"
#include "client/capture/UltraEncoder.h"

namespace tarrowlink::bench {
namespace {

void BM_Memcpy(benchmark::State& state, FrameSize size) {
    const std::vector<uint8_t>& frame = CaptureFrame(Scene::kDesktop, size);
    std::vector<uint8_t> out(frame.size());
    for (auto _ : state) {
        std::memcpy(out.data(), frame.data(), frame.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}

void BM_Convert(benchmark::State& state, FrameSize size,
                void (*convert)(uint8_t*, const uint8_t*, int), int bytes_per_pixel) {
    const std::vector<uint8_t>& frame = CaptureFrame(Scene::kDesktop, size);
    const int pixels = size.width * size.height;
    std::vector<uint8_t> out(size_t(pixels) * bytes_per_pixel);
    for (auto _ : state) {
        convert(out.data(), frame.data(), pixels);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}

bool SetUp(benchmark::State& state, UltraEncoder& encoder, int depth, FrameSize size) {
    if (!encoder.Configure(size.width, size.height, depth)) {
        state.SkipWithError("encoder set-up failed");
        return false;
    }
    encoder.SetSourceFormat(kCapturePixelFormat, size.width, size.height);
    encoder.SetWireFormat(WirePixelFormatFor(depth));
    return true;
}

void ReportFrame(benchmark::State& state, int64_t raw_bytes, int64_t sent_bytes) {
    state.SetBytesProcessed(int64_t(state.iterations()) * raw_bytes);
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["sent%"] = 100.0 * double(sent_bytes) / double(raw_bytes);
}

// One full-screen EncodeRectangle per iteration, as the first pass of a projection sends it.
void BM_EncodeFrame(benchmark::State& state, int depth, FrameSize size, Scene scene) {
    const std::vector<uint8_t>& frame = CaptureFrame(scene, size);
    UltraEncoder encoder;
    if (!SetUp(state, encoder, depth, size)) return;
    std::vector<uint8_t> payload(size_t(encoder.MaxPayloadSize()));
    std::vector<int32_t> sizes(size_t(encoder.MaxStripCount()));
    const PixelRect screen{0, 0, size.width, size.height};
    int32_t total = 0;
    for (auto _ : state) {
        total = encoder.EncodeRectangle(frame.data(), payload.data(), sizes.data(), screen);
        benchmark::DoNotOptimize(total);
    }
    ReportFrame(state, int64_t(size.width) * size.height * depth / 8, total);
}

// lzo1x_1_compress alone over the same strips, converted beforehand, with the pixels the encoder
// sends: coarsened or with a repeated lead where the exact ones do not shrink.
void BM_BareLzo(benchmark::State& state, int depth, FrameSize size, Scene scene) {
    const std::vector<uint8_t>& frame = CaptureFrame(scene, size);
    UltraEncoder encoder;
    if (!SetUp(state, encoder, depth, size)) return;
    const PixelRect screen{0, 0, size.width, size.height};
    const size_t raw = size_t(size.width) * size.height * (depth / 8);
    std::vector<uint8_t> converted(raw);
    // Full-width strips are consecutive rows, so the whole screen converts in one call.
    if (depth == 16) encoder.ConvertRows16(frame.data(), converted.data(), screen);
    if (depth == 24) encoder.ConvertRows24(frame.data(), converted.data(), screen);
    if (depth == 32) encoder.ConvertRowsOpaque32(frame.data(), converted.data(), screen);
    // Each strip the encoder sends, decoded over its rows.
    std::vector<uint8_t> payload(size_t(encoder.MaxPayloadSize()));
    std::vector<int32_t> sizes(size_t(encoder.MaxStripCount()), 0);
    encoder.EncodeRectangle(frame.data(), payload.data(), sizes.data(), screen);
    const size_t row_bytes = size_t(size.width) * (depth / 8);
    const uint8_t* strip = payload.data();
    for (int32_t strip_size : sizes) {
        if (strip_size <= 0) break;
        const size_t y = size_t(strip[2]) << 8 | strip[3];
        lzo_uint length = (size_t(strip[6]) << 8 | strip[7]) * row_bytes;
        if (lzo1x_decompress_safe(strip + UltraEncoder::kStripHeaderSize,
                                  lzo_uint(strip_size - UltraEncoder::kStripHeaderSize),
                                  converted.data() + y * row_bytes, &length, nullptr) != LZO_E_OK) {
            state.SkipWithError("a strip did not decode");
            return;
        }
        strip += strip_size;
    }
    const size_t strip_bytes = size_t(size.width) * UltraEncoder::kStripRows * (depth / 8);
    std::vector<uint8_t> out(UltraEncoder::CompressBound(strip_bytes));
    std::vector<uint64_t> work((LZO1X_1_MEM_COMPRESS + 7) / 8);
    if (lzo_init() != LZO_E_OK) {
        state.SkipWithError("lzo_init failed");
        return;
    }
    size_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (size_t at = 0; at < raw; at += strip_bytes) {
            lzo_uint length = 0;
            lzo1x_1_compress(converted.data() + at, std::min(strip_bytes, raw - at), out.data(),
                             &length, work.data());
            // The encoder leaves out strips that still grow; count what it would send.
            if (length <= std::min(strip_bytes, raw - at)) total += length + 16;
        }
        benchmark::DoNotOptimize(total);
    }
    ReportFrame(state, int64_t(raw), int64_t(total));
}

const bool kRegistered = [] {
    for (const FrameSize& size : BenchSizes()) {
        const std::string at = "/" + SizeName(size);
        benchmark::RegisterBenchmark(("BM_Memcpy" + at).c_str(), BM_Memcpy, size);
        benchmark::RegisterBenchmark(("BM_Convert565" + at).c_str(), BM_Convert, size,
                                     Convert32To565, 2);
        benchmark::RegisterBenchmark(("BM_Convert24" + at).c_str(), BM_Convert, size, Convert32To24,
                                     3);
    }
    // Each encoder figure sits next to its bare LZO figure, measured moments apart.
    for (int depth : {16, 24, 32}) {
        for (const FrameSize& size : BenchSizes()) {
            for (Scene scene : {Scene::kDesktop, Scene::kNoise}) {
                const std::string at =
                    "/" + std::to_string(depth) + "/" + SizeName(size) + "/" + SceneName(scene);
                benchmark::RegisterBenchmark(("BM_EncodeFrame" + at).c_str(), BM_EncodeFrame, depth,
                                             size, scene);
                benchmark::RegisterBenchmark(("BM_BareLzo" + at).c_str(), BM_BareLzo, depth, size,
                                             scene);
            }
        }
    }
    return true;
}();

}  // namespace
}  // namespace tarrowlink::bench
