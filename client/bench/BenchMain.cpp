// The benchmark program's entry: Google Benchmark's own command line (--benchmark_filter,
// --benchmark_format=json, ...), with the converter set in use added to the report's context.
#include <benchmark/benchmark.h>

#include "client/capture/PixelConvert.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("pixel_converters", tarrowlink::ConverterSetName());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
