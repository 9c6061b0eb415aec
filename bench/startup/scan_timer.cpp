// scan_timer: the catalogue scan against the registry of the Windows it runs on (under Wine in
// scripts/bench-startup.sh), timed alone, outside any dialog, side by side with a bare walk of the
// same keys written straight on the ANSI registry API: each key opened, its two values read once,
// its sub-keys listed where the scan lists them. Scans and walks take turns; the medians of many
// runs of each, and their ratio, are printed.
// Usage: scan_timer [--runs N] [--max-ratio R]
// Exit code: 0, 1 when nothing was found, 3 when the scan takes more than R times the walk.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "platform/win32/win32_registry.h"

namespace {

struct BareWalk {
  std::size_t keys = 0;
  std::size_t locations = 0;

  // The keys the scan visits: below each release key, down to the keys that hold both values.
  void Key(HKEY parent, const char* name) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    ++keys;
    BYTE data[256];
    DWORD size = sizeof data;
    const bool location = ::RegQueryValueExA(key, "AcadLocation", nullptr, nullptr, data, &size) == ERROR_SUCCESS;
    size = sizeof data;
    const bool product = ::RegQueryValueExA(key, "ProductName", nullptr, nullptr, data, &size) == ERROR_SUCCESS;
    if (location) ++locations;
    if (!(location && product)) {
      DWORD count = 0;
      if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr) == ERROR_SUCCESS) {
        for (DWORD i = 0; i < count; ++i) {
          char child[512];
          DWORD length = sizeof child;
          if (::RegEnumKeyExA(key, i, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            Key(key, child);
          }
        }
      }
    }
    ::RegCloseKey(key);
  }

  void Root(const char* path) {
    HKEY root = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &root) != ERROR_SUCCESS) return;
    DWORD count = 0;
    ::RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr);
    for (DWORD i = 0; i < count; ++i) {
      char release[512];
      DWORD length = sizeof release;
      if (::RegEnumKeyExA(root, i, release, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        Key(root, release);
      }
    }
    ::RegCloseKey(root);
  }
};

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end, const LARGE_INTEGER& frequency) {
  return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int runs = 101;
  double maxRatio = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::wcscmp(argv[i], L"--runs") == 0) runs = std::max(1, static_cast<int>(std::wcstol(argv[i + 1], nullptr, 10)));
    if (std::wcscmp(argv[i], L"--max-ratio") == 0) maxRatio = std::wcstod(argv[i + 1], nullptr);
  }

  platform::win32::Win32Registry registry;
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  std::vector<double> scans;
  std::vector<double> walks;
  std::size_t products = 0;
  int years = 0;
  BareWalk walked;
  for (int i = 0; i < runs; ++i) {
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    CAcadCatalog catalog;
    ::QueryPerformanceCounter(&start);
    catalog.Scan(registry);
    ::QueryPerformanceCounter(&end);
    scans.push_back(Milliseconds(start, end, frequency));

    walked = BareWalk{};
    ::QueryPerformanceCounter(&start);
    walked.Root("SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD");
    walked.Root("SOFTWARE\\Autodesk\\AutoCAD");
    ::QueryPerformanceCounter(&end);
    walks.push_back(Milliseconds(start, end, frequency));

    products = 0;
    years = 0;
    for (const StringList& paths : catalog.m_arrKeyPaths) {
      products += paths.size();
      years += paths.empty() ? 0 : 1;
    }
  }
  const double scan = Median(scans);
  const double walk = Median(walks);
  const double ratio = walk > 0 ? scan / walk : 0;
  std::printf("scan    %8.2f ms median, %d scans; %zu products filed under %d years\n", scan, runs, products, years);
  std::printf("walk    %8.2f ms median (bare walk of the same keys: %zu keys, %zu locations)\n", walk, walked.keys,
              walked.locations);
  std::printf("ratio   %8.2f scan / walk%s\n", ratio, maxRatio > 0 && ratio > maxRatio ? "  (over the limit)" : "");
  if (products == 0) return 1;
  return maxRatio > 0 && ratio > maxRatio ? 3 : 0;
}
