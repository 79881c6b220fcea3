// The benchmark binary's entry point. Benchmarks live in one file per area
// of the library (ModelBench.cpp, QueryBench.cpp, ...) and register
// themselves with BENCHMARK().
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
