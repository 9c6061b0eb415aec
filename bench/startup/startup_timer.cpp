// startup_timer: how long programs take from CreateProcess to their window being shown.
//
// Each program is started, its top-level windows are looked for every millisecond until one of
// them is visible with the given caption and a control of the given id (so that a message box
// with the same caption does not count), and the time between is taken with
// QueryPerformanceCounter. The window is then sent WM_CLOSE and the program waited for. The
// programs take turns, and which one goes first alternates from round to round, so that a drift
// in the machine's load touches them alike. Prints every run, the median of each program with how
// many check boxes its window had enabled (what SetUp.exe found in the registry before showing its
// dialog), and the first program against each other one.
//
// Usage: startup_timer [--runs N] [--warmup N] [--max-ratio R] NAME PATH CAPTION CONTROL ...
//   CAPTION "" accepts any caption; CONTROL 0 any window.
// Exit code: 0; 1 when a run failed; 3 when the first program's median over the second's is above
// --max-ratio.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kShowLimitMs = 30000;  // a program that shows nothing within this has failed
constexpr DWORD kExitLimitMs = 15000;

struct Program {
  std::wstring name;
  std::wstring path;
  std::wstring caption;
  int controlId;
  std::vector<double> milliseconds;  // per timed round; -1 where the run failed
  int enabledCheckBoxes = -1;
};

struct WindowSearch {
  DWORD processId;
  const Program* program;
  HWND found;
};

BOOL CALLBACK MatchShownWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !::IsWindowVisible(window)) return TRUE;
  if (!search->program->caption.empty()) {
    // InternalGetWindowText reads the caption the system keeps; it sends the program no message,
    // which could not be answered while the program is still busy starting.
    wchar_t text[256] = {};
    ::InternalGetWindowText(window, text, static_cast<int>(std::size(text)));
    if (search->program->caption != text) return TRUE;
  }
  if (search->program->controlId != 0 && ::GetDlgItem(window, search->program->controlId) == nullptr) return TRUE;
  search->found = window;
  return FALSE;
}

// Style and class are kept by the system: reading them sends the program no message either.
BOOL CALLBACK CountEnabledCheckBox(HWND child, LPARAM param) {
  wchar_t className[16] = {};
  ::GetClassNameW(child, className, static_cast<int>(std::size(className)));
  const auto style = static_cast<DWORD>(::GetWindowLongW(child, GWL_STYLE));
  const DWORD type = style & BS_TYPEMASK;
  if (::lstrcmpiW(className, L"Button") == 0 && (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) &&
      ::IsWindowVisible(child) && ::IsWindowEnabled(child)) {
    ++*reinterpret_cast<int*>(param);
  }
  return TRUE;
}

std::string Narrow(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.pop_back();
  return out;
}

// One start of a program; the time to its window in milliseconds, or a negative value on failure.
double TimeOneStart(Program& program) {
  std::wstring folder = program.path;
  const std::size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
  std::wstring commandLine = L"\"" + program.path + L"\"";

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  LARGE_INTEGER frequency{};
  LARGE_INTEGER start{};
  LARGE_INTEGER shown{};
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  if (!::CreateProcessW(program.path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    std::printf("error: cannot start %s (error %lu)\n", Narrow(program.path).c_str(), ::GetLastError());
    return -1;
  }
  WindowSearch search{process.dwProcessId, &program, nullptr};
  const ULONGLONG deadline = ::GetTickCount64() + kShowLimitMs;
  bool exited = false;
  for (;;) {
    ::EnumWindows(MatchShownWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      ::QueryPerformanceCounter(&shown);
      break;
    }
    if (::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
      exited = true;
      break;
    }
    if (::GetTickCount64() > deadline) break;
    ::Sleep(1);
  }

  double elapsed = -1;
  if (search.found != nullptr) {
    elapsed = static_cast<double>(shown.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
    int enabled = 0;
    ::EnumChildWindows(search.found, CountEnabledCheckBox, reinterpret_cast<LPARAM>(&enabled));
    program.enabledCheckBoxes = enabled;
    ::PostMessageW(search.found, WM_CLOSE, 0, 0);
  } else {
    std::printf("error: %s %s\n", Narrow(program.name).c_str(),
                exited ? "ended without showing its window" : "showed no window in time");
  }
  if (::WaitForSingleObject(process.hProcess, kExitLimitMs) != WAIT_OBJECT_0) {
    std::printf("error: %s did not end after WM_CLOSE; terminated\n", Narrow(program.name).c_str());
    ::TerminateProcess(process.hProcess, 1);
    ::WaitForSingleObject(process.hProcess, kExitLimitMs);
    elapsed = -1;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return elapsed;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::vector<double> Valid(const std::vector<double>& values) {
  std::vector<double> valid;
  for (const double v : values) {
    if (v > 0) valid.push_back(v);
  }
  return valid;
}

int Usage() {
  std::printf("usage: startup_timer [--runs N] [--warmup N] [--max-ratio R] NAME PATH CAPTION CONTROL ...\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int runs = 15;
  int warmup = 2;
  double maxRatio = 0;
  std::vector<Program> programs;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if ((arg == L"--runs" || arg == L"--warmup" || arg == L"--max-ratio") && i + 1 < argc) {
      const std::wstring value = argv[++i];
      if (arg == L"--runs") runs = std::max(1, static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
      if (arg == L"--warmup") warmup = std::max(0, static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)));
      if (arg == L"--max-ratio") maxRatio = std::wcstod(value.c_str(), nullptr);
    } else if (i + 3 < argc) {
      const auto control = static_cast<int>(std::wcstol(argv[i + 3], nullptr, 10));
      programs.push_back({arg, argv[i + 1], argv[i + 2], control, {}});
      i += 3;
    } else {
      return Usage();
    }
  }
  if (programs.empty()) return Usage();

  // Warm-up: the first starts load DLLs and fonts into the file cache and the wineserver.
  bool failed = false;
  for (int round = 0; round < warmup; ++round) {
    for (Program& program : programs) {
      if (TimeOneStart(program) < 0) failed = true;
    }
  }
  for (Program& program : programs) program.milliseconds.assign(static_cast<std::size_t>(runs), -1.0);
  for (int round = 0; round < runs; ++round) {
    for (std::size_t k = 0; k < programs.size(); ++k) {
      // Rounds alternate the order: A B, B A, A B, ...
      Program& program = programs[round % 2 == 0 ? k : programs.size() - 1 - k];
      const double ms = TimeOneStart(program);
      if (ms < 0) {
        failed = true;
        continue;
      }
      program.milliseconds[static_cast<std::size_t>(round)] = ms;
      std::printf("run %2d  %-16s %8.1f ms\n", round + 1, Narrow(program.name).c_str(), ms);
      std::fflush(stdout);
    }
  }

  for (const Program& program : programs) {
    const std::vector<double> ms = Valid(program.milliseconds);
    if (ms.empty()) continue;
    std::printf("median  %-16s %8.1f ms  (min %.1f, max %.1f, %zu runs; %d check boxes enabled)\n",
                Narrow(program.name).c_str(), Median(ms), *std::min_element(ms.begin(), ms.end()),
                *std::max_element(ms.begin(), ms.end()), ms.size(), program.enabledCheckBoxes);
  }
  // The first program against each other one: the ratio of the medians, and the median of the
  // ratios of the two runs of each round, which were taken moments apart and so under the same
  // load: the steadier figure on a machine shared with other work.
  int code = failed ? 1 : 0;
  const Program& first = programs[0];
  for (std::size_t k = 1; k < programs.size(); ++k) {
    const Program& other = programs[k];
    const std::vector<double> a = Valid(first.milliseconds);
    const std::vector<double> b = Valid(other.milliseconds);
    if (a.empty() || b.empty()) continue;
    std::vector<double> paired;
    for (std::size_t r = 0; r < first.milliseconds.size(); ++r) {
      if (first.milliseconds[r] > 0 && other.milliseconds[r] > 0) paired.push_back(first.milliseconds[r] / other.milliseconds[r]);
    }
    const double ratio = Median(a) / Median(b);
    std::printf("ratio   %s / %s = %.3f (paired runs: %.3f)", Narrow(first.name).c_str(), Narrow(other.name).c_str(),
                ratio, Median(paired));
    if (k == 1 && maxRatio > 0) {
      std::printf("  limit %.2f: %s", maxRatio, ratio <= maxRatio ? "ok" : "ABOVE");
      if (ratio > maxRatio && code == 0) code = 3;
    }
    std::printf("\n");
  }
  return code;
}
