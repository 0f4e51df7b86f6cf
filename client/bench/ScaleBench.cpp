// The stretch path's scaling on its own: a whole desktop screen shrunk onto a 1024x768 receiver
// by each kernel set this CPU can run (the portable one is the reference the others must equal),
// so that the sets compare directly. Rates are in source bytes per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "client/bench/BenchFrames.h"
#include "client/capture/ScalerKernels.h"

namespace tarrowlink::bench {
namespace {

void BM_ScaleArea(benchmark::State& state, const scale::ScalerSet* set, FrameSize screen) {
    const std::vector<uint8_t>& frame = CaptureFrame(Scene::kDesktop, screen);
    const FrameSize target{1024, 768};
    std::vector<uint8_t> out(size_t(target.width) * target.height * 4);
    for (auto _ : state) {
        if (!scale::ScaleAreaWith(*set, frame.data(), screen.width, screen.height,
                                  ptrdiff_t(screen.width) * 4, out.data(), target.width,
                                  target.height, ptrdiff_t(target.width) * 4)) {
            state.SkipWithError("the scaler refused the sizes");
            return;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}

const bool kRegistered = [] {
    for (FrameSize screen : {FrameSize{1920, 1080}, FrameSize{3840, 2160}}) {
        for (const scale::ScalerSet* set : scale::UsableScalerSets()) {
            benchmark::RegisterBenchmark(
                ("BM_ScaleArea/" + SizeName(screen) + "_to_1024x768/" + set->name).c_str(),
                BM_ScaleArea, set, screen);
        }
    }
    return true;
}();

}  // namespace
}  // namespace tarrowlink::bench
