// orvalen-bench: every workload and implementation in one run; see scripts/bench for the ratios.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

int main(int argc, char** argv) {
  bench::RegisterBulkBenchmarks();
  bench::RegisterMessageBenchmarks();
  bench::RegisterValueBenchmarks();
  bench::RegisterScaleBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
