// How fast the receiver decodes: a full 1024 x 768 update (48 strips of 16 rows) at each depth,
// from LZO1X-1 units into the picture, and composing the picture for a snapshot or the window.
#include <benchmark/benchmark.h>

#include "receiver/DataStream.h"
#include "receiver/tests/TestUnits.h"

namespace {

using namespace receiver;

void BM_DecodeFullUpdate(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    test::Screen screen(1024, 768, 1);
    test::Bytes units = test::EncodeRectangle(screen, depth, 0, 0, 1024, 768, 16);
    ProjectionStart start;
    start.mode = ReceiverMode{1024, 768, depth};
    Picture picture(test::Geometry(1024, 768, depth));
    for (auto _ : state) {
        DataStream stream(picture, [&] { return start; });
        if (!stream.Feed(units.data(), units.size())) state.SkipWithError("refused");
        benchmark::DoNotOptimize(picture.Version());
    }
    state.SetItemsProcessed(state.iterations());  // full updates
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(1024 * 768 * depth / 8));
    state.counters["wire_bytes"] = static_cast<double>(units.size());
}
BENCHMARK(BM_DecodeFullUpdate)->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_Compose(benchmark::State& state) {
    Picture picture(test::Geometry(1024, 768, 16));
    CursorShape cursor;
    cursor.width = cursor.height = 32;
    cursor.x = cursor.top = 100;
    picture.SetCursor(cursor);
    for (auto _ : state) {
        ComposedImage image = picture.Compose();
        benchmark::DoNotOptimize(image.pixels.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Compose)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
