// The catalogue scan over a fully stocked machine: every AutoCAD release 2007-2026 installed, four
// products each, and 32-bit AutoCAD 2007-2012 under Wow6432Node (bench/gen_full_machine.py). This
// is the largest registry a real customer shows SetUp.exe, and the scan runs before its dialog
// appears; scripts/bench-startup.sh times the same machine under Wine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "discovery/acad_catalog.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/sim_registry.h"

namespace {

// What the generator puts there: 80 native products and 6 32-bit ones, of which only 2007 and
// 2008 are filed (a later 32-bit product has a 64-bit twin); under 20 years.
constexpr std::size_t kProducts = 82;

sim::SimRegistry* g_machine = nullptr;

void BM_ScanFullMachine(benchmark::State& state) {
  std::size_t filed = 0;
  int years = 0;
  for (auto _ : state) {
    CAcadCatalog catalog;
    catalog.Scan(*g_machine);
    filed = 0;
    years = 0;
    for (const StringList& paths : catalog.m_arrKeyPaths) {
      filed += paths.size();
      years += paths.empty() ? 0 : 1;
    }
    benchmark::DoNotOptimize(filed);
  }
  // A scan that misses products would be fast for the wrong reason.
  if (filed != kProducts || years != kYearCount) {
    state.SkipWithError(("filed " + std::to_string(filed) + " products under " + std::to_string(years) +
                         " years, not " + std::to_string(kProducts) + " under 20")
                            .c_str());
  }
  state.counters["products"] = static_cast<double>(filed);
  state.counters["years"] = years;
}
BENCHMARK(BM_ScanFullMachine)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  sim::SimRegistry machine;
  const sim::RegFileResult loaded = sim::LoadRegFile(machine, SETUP_FULL_MACHINE_REG);
  if (!loaded) {
    std::fprintf(stderr, "%s: %s\n", SETUP_FULL_MACHINE_REG, loaded.Describe().c_str());
    return 1;
  }
  g_machine = &machine;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
