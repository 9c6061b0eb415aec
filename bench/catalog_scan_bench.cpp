// Cost of the catalogue scan against the cost of merely visiting every key under the AutoCAD roots.
//
// The scan walks each release key twice (once per value it looks for) and queries a value in every
// key it opens, so it can never be cheaper than one plain walk; it should stay within a small
// constant factor of it, and both should grow linearly with the number of keys.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <utility>
#include <vector>
#include <string>

#include "discovery/acad_catalog.h"
#include "platform/sim/sim_registry.h"

namespace {

using platform::RootKey;

constexpr RootKey kHklm = RootKey::LocalMachine;

// Release keys as AutoCAD names them, and the year each stands for.
constexpr struct {
  const char* key;
  int year;
} kReleases[] = {{"R17.0", 2007}, {"R17.1", 2008}, {"R17.2", 2009}, {"R18.0", 2010}, {"R18.1", 2011},
                 {"R18.2", 2012}, {"R19.0", 2013}, {"R19.1", 2014}, {"R20.0", 2015}, {"R20.1", 2016},
                 {"R21.0", 2017}, {"R22.0", 2018}, {"R23.0", 2019}, {"R23.1", 2020}, {"R24.0", 2021},
                 {"R24.1", 2022}, {"R24.2", 2023}, {"R24.3", 2024}, {"R25.0", 2025}, {"R25.1", 2026}};
constexpr int kWowReleases = 3;  // 2007-2009 also under Wow6432Node
constexpr const char* kLocales[] = {"804", "409", "407", "40C", "411"};
constexpr const char* kApps[] = {"AcadVBA", "AcadExpressTools", "AcadBIMCore", "AcadWebServices", "AcadDgnLS",
                                 "AcadSysVarMonitor"};

// One product key and its sub-tree: Applications with its entries, AutodeskApps, Capabilities and
// DesignCenter with two children; 13 keys. One product in `holdEvery` still holds its values (an
// installed product); the others are what uninstalls and verticals leave behind, which the scan
// has to search to the bottom. holdEvery 0: no product holds them, the scan's worst case.
constexpr std::size_t kKeysPerProduct = 13;

void AddProduct(sim::SimRegistry& registry, const std::string& releasePath, int year, std::size_t serial,
                std::size_t holdEvery) {
  char id[32];
  std::snprintf(id, sizeof id, "ACAD-%04zX:%s", serial, kLocales[serial % 5]);
  const std::string product = releasePath + "\\" + id;
  if (holdEvery != 0 && serial % holdEvery == 0) {
    const std::string folder = "C:\\Program Files\\Autodesk\\AutoCAD " + std::to_string(year) + "\\";
    registry.SetString(kHklm, product, "AcadLocation", folder);
    registry.SetString(kHklm, product, "ProductName", "AutoCAD " + std::to_string(year));
  }
  registry.SetString(kHklm, product, "Release", std::to_string(year - 1990) + ".0.0.0");
  for (const char* app : kApps) {
    registry.SetDword(kHklm, product + "\\Applications\\" + app, "LOADCTRLS", 2);
  }
  registry.CreatePath(kHklm, product + "\\AutodeskApps");
  registry.SetString(kHklm, product + "\\Capabilities", "ApplicationName", "AutoCAD");
  registry.CreatePath(kHklm, product + "\\DesignCenter\\AutoCAD");
  registry.CreatePath(kHklm, product + "\\DesignCenter\\Blocks");
}

// About `keys` keys under the two AutoCAD roots, products spread round-robin over the releases.
sim::SimRegistry& MachineWith(std::size_t keys, std::size_t holdEvery) {
  static std::map<std::pair<std::size_t, std::size_t>, sim::SimRegistry> machines;
  auto [it, fresh] = machines.try_emplace({keys, holdEvery});
  if (!fresh) return it->second;
  sim::SimRegistry& registry = it->second;
  const std::string native = "SOFTWARE\\Autodesk\\AutoCAD";
  const std::string wow = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD";
  constexpr std::size_t kReleaseKeys = std::size(kReleases) + kWowReleases;
  const std::size_t products = (keys - kReleaseKeys - 2) / kKeysPerProduct;
  for (std::size_t p = 0; p < products; ++p) {
    const std::size_t r = p % kReleaseKeys;
    const bool inWow = r >= std::size(kReleases);
    const auto& release = kReleases[inWow ? r - std::size(kReleases) : r];
    AddProduct(registry, (inWow ? wow : native) + "\\" + release.key, release.year, p, holdEvery);
  }
  return registry;
}

std::size_t CountKeys(sim::SimRegistry& registry, platform::KeyHandle key);

// What any reader of the tree must at least do: open each key once and enumerate its sub-keys.
std::size_t WalkKey(sim::SimRegistry& registry, platform::KeyHandle parent, const std::string& name) {
  platform::UniqueKey key;
  if (registry.OpenKey(parent, name, platform::Access::Read, key) != platform::kSuccess) return 0;
  return 1 + CountKeys(registry, key.get());
}

std::size_t CountKeys(sim::SimRegistry& registry, platform::KeyHandle key) {
  std::uint32_t count = 0;
  if (registry.CountSubKeys(key, count) != platform::kSuccess) return 0;
  std::size_t visited = 0;
  std::string name;
  for (std::uint32_t i = 0; i < count; ++i) {
    name.clear();
    if (registry.EnumSubKey(key, i, 256, name) == platform::kSuccess) visited += WalkKey(registry, key, name);
  }
  return visited;
}

std::size_t PlainWalk(sim::SimRegistry& registry) {
  platform::UniqueKey machine;
  if (registry.OpenRoot(kHklm, machine) != platform::kSuccess) return 0;
  return WalkKey(registry, machine.get(), "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD") +
         WalkKey(registry, machine.get(), "SOFTWARE\\Autodesk\\AutoCAD");
}

void BM_PlainWalk(benchmark::State& state) {
  sim::SimRegistry& registry = MachineWith(static_cast<std::size_t>(state.range(0)), static_cast<std::size_t>(state.range(1)));
  std::size_t visited = 0;
  for (auto _ : state) {
    visited = PlainWalk(registry);
    benchmark::DoNotOptimize(visited);
  }
  state.counters["keys"] = static_cast<double>(visited);
}

void BM_Scan(benchmark::State& state) {
  sim::SimRegistry& registry = MachineWith(static_cast<std::size_t>(state.range(0)), static_cast<std::size_t>(state.range(1)));
  std::size_t filed = 0;
  for (auto _ : state) {
    CAcadCatalog catalog;
    catalog.Scan(registry);
    filed = 0;
    for (const StringList& paths : catalog.m_arrKeyPaths) filed += paths.size();
    benchmark::DoNotOptimize(filed);
  }
  state.counters["filed"] = static_cast<double>(filed);
}

// Arguments: keys under the AutoCAD roots, and one product in how many holding its values.
BENCHMARK(BM_PlainWalk)->ArgsProduct({{10'000, 100'000}, {4, 0}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Scan)->ArgsProduct({{10'000, 100'000}, {4, 0}})->Unit(benchmark::kMillisecond);

// Prints the scan/walk ratio per size and the 100k/10k growth after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    // CPU time, and the median when repeated: the figures should not depend on what else runs.
    for (const Run& run : runs) {
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        times_[name] = run.GetAdjustedCPUTime();
      } else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && run.repetitions <= 1) {
        times_[name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto time = [this](const std::string& name) {
      const auto it = times_.find(name);
      return it == times_.end() ? 0.0 : it->second;
    };
    for (const char* shape : {"/4", "/0"}) {
      const char* holders = shape[1] == '0' ? "none" : "1 in 4";
      for (const char* size : {"10000", "100000"}) {
        const double walk = time(std::string("BM_PlainWalk/") + size + shape);
        const double scan = time(std::string("BM_Scan/") + size + shape);
        if (walk > 0 && scan > 0) std::printf("keys %-7s holders %-7s scan/walk = %.2f\n", size, holders, scan / walk);
      }
      for (const char* name : {"BM_PlainWalk", "BM_Scan"}) {
        const double small = time(std::string(name) + "/10000" + shape);
        const double large = time(std::string(name) + "/100000" + shape);
        if (small > 0 && large > 0) std::printf("%-12s holders %-7s 100k/10k = %.1f\n", name, holders, large / small);
      }
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
