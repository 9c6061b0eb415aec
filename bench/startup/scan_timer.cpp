// scan_timer: the catalogue scan against the registry of the Windows it runs on (under Wine in
// scripts/bench-startup.sh), timed alone, outside any dialog: the median of many scans, each one
// as SetUp.exe does it at start-up, with a fresh catalogue.
// Usage: scan_timer [--runs N]   Prints the median, the fastest scan and what the scan found.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "discovery/acad_catalog.h"
#include "platform/win32/win32_registry.h"

int wmain(int argc, wchar_t** argv) {
  int runs = 101;
  if (argc == 3 && std::wcscmp(argv[1], L"--runs") == 0) runs = std::max(1, static_cast<int>(std::wcstol(argv[2], nullptr, 10)));

  platform::win32::Win32Registry registry;
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  std::vector<double> milliseconds;
  std::size_t products = 0;
  int years = 0;
  for (int i = 0; i < runs; ++i) {
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    CAcadCatalog catalog;
    ::QueryPerformanceCounter(&start);
    catalog.Scan(registry);
    ::QueryPerformanceCounter(&end);
    milliseconds.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                           static_cast<double>(frequency.QuadPart));
    products = 0;
    years = 0;
    for (const StringList& paths : catalog.m_arrKeyPaths) {
      products += paths.size();
      years += paths.empty() ? 0 : 1;
    }
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  std::printf("scan    %8.2f ms median, %.2f ms fastest, %d scans; %zu products filed under %d years\n",
              milliseconds[milliseconds.size() / 2], milliseconds.front(), runs, products, years);
  return products == 0 ? 1 : 0;
}
