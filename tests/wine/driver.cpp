// driver.exe: drives a dialog program (SetUp.exe) from outside, step by step, for the scenario tests.
//
// It starts the program (or attaches to a running one by executable name), finds its windows by
// caption, reads and changes controls by id, answers message boxes, and waits for the program's
// exit. Every wait has a time limit; on any failure the driver says why, dumps what it sees,
// ends the program it drives and exits non-zero. Steps come from a UTF-8 script file (--script)
// and/or from --step arguments, one step per line:
//
//   wait-window "V-批打印软件安装" 20      expect-control 1027 visible enabled checked
//   click 1027                             click-async 1022
//   set-text 1000 "C:\Tools"               wait-msgbox 20
//   expect-msgbox-text "..."               answer-msgbox 4
//   wait-exit 20 expect 0                  dump-controls
//   expect-no-window-until-exit 30         (an unattended run: no window at any moment until exit)
//   wait-window-with 14145 20              hold-file "C:\x\a.dll" / release-file "C:\x\a.dll"
//   must-fail "REASON" STEP...             (the step must fail, with REASON in its message)
//   expect-file "C:\Vornex" / expect-no-file "C:\Vornex"
//   stopwatch start / stopwatch lap LABEL  poll 2   (waits look every 2 ms instead of 50: for timing)
//
// In quoted text, \n \t \" and \\ are escapes; any other backslash stands for itself.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- text and output

std::string ToUtf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::wstring FromUtf8(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// Output goes to a pipe or a file in the scenario runs: raw UTF-8 bytes, unbuffered, so that a
// log cut short by a kill still shows the last step.
void Out(const std::wstring& text) {
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(h, &mode)) {
    WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    std::string bytes = ToUtf8(text);
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

void OutLine(const std::wstring& text) { Out(text + L"\n"); }

// Shows control characters so that a text with line breaks stays on one line of the log.
std::wstring Visible(const std::wstring& s) {
  std::wstring r;
  for (wchar_t c : s) {
    if (c == L'\n') r += L"\\n";
    else if (c == L'\r') r += L"\\r";
    else if (c == L'\t') r += L"\\t";
    else if (c == L'"') r += L"\\\"";
    else if (c < 0x20 || c == 0xFFFF) {
      wchar_t buf[8];
      swprintf(buf, 8, L"\\x%04X", static_cast<unsigned>(c));
      r += buf;
    } else r += c;
  }
  return L"\"" + r + L"\"";
}

struct StepFailure : std::runtime_error {
  explicit StepFailure(const std::wstring& why) : std::runtime_error(ToUtf8(why)), message(why) {}
  std::wstring message;
};

[[noreturn]] void Fail(const std::wstring& why) { throw StepFailure(why); }

// ---------------------------------------------------------------- step parsing

std::vector<std::wstring> Tokenize(const std::wstring& line) {
  std::vector<std::wstring> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && iswspace(line[i])) ++i;
    if (i >= line.size()) break;
    std::wstring token;
    if (line[i] == L'"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        wchar_t c = line[i++];
        if (c == L'"') { closed = true; break; }
        if (c == L'\\' && i < line.size()) {
          wchar_t n = line[i];
          if (n == L'n') { token += L'\n'; ++i; continue; }
          if (n == L't') { token += L'\t'; ++i; continue; }
          if (n == L'"' || n == L'\\') { token += n; ++i; continue; }
        }
        token += c;
      }
      if (!closed) Fail(L"unterminated quoted text in: " + line);
    } else {
      while (i < line.size() && !iswspace(line[i])) token += line[i++];
    }
    tokens.push_back(token);
  }
  return tokens;
}

bool ParseNumber(const std::wstring& s, long& out) {
  if (s.empty()) return false;
  wchar_t* end = nullptr;
  int base = (s.size() > 2 && s[0] == L'0' && (s[1] == L'x' || s[1] == L'X')) ? 16 : 10;
  long v = std::wcstol(s.c_str(), &end, base);
  if (end == nullptr || *end != L'\0') return false;
  out = v;
  return true;
}

bool ParseSeconds(const std::wstring& s, double& out) {
  if (s.empty()) return false;
  wchar_t* end = nullptr;
  double v = std::wcstod(s.c_str(), &end);
  if (end == nullptr || *end != L'\0' || v < 0) return false;
  out = v;
  return true;
}

int ControlId(const std::wstring& s) {
  long v = 0;
  if (!ParseNumber(s, v) || v < -1 || v > 0xFFFF) Fail(L"not a control id: " + s);
  return static_cast<int>(v == -1 ? 0xFFFF : v);
}

// ---------------------------------------------------------------- windows of the driven process

constexpr double kDefaultTimeout = 20.0;
constexpr DWORD kDefaultPollMs = 50;
constexpr UINT kSendTimeoutMs = 5000;
constexpr int kMsgBoxTextId = 0xFFFF;  // the message box's text is the static with id -1
constexpr int kMsgBoxIconId = 0x0440;  // the message box's icon static
constexpr int kBrowserTreeId = 14145;  // the folder browser's tree: such a window is no message box
// How often expect-no-window-until-exit enumerates the program's windows: every few ms, so that
// even a window that lives a moment is seen (the creation hook below catches shorter ones).
constexpr DWORD kNoWindowPollMs = 2;
constexpr ULONGLONG kNoWindowSettleMs = 100;

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

// WM_GETTEXT through SendMessageTimeout, so that a hung target cannot hang the driver.
std::wstring TextOf(HWND h) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len))
    Fail(L"the window does not answer WM_GETTEXTLENGTH");
  std::vector<wchar_t> buf(len + 2, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &got))
    Fail(L"the window does not answer WM_GETTEXT");
  return std::wstring(buf.data(), std::min<size_t>(got, len + 1));
}

std::wstring CaptionOf(HWND h) {
  // The caption is kept by the system: no message to the target needed.
  int n = GetWindowTextLengthW(h);
  std::vector<wchar_t> buf(static_cast<size_t>(n) + 2, L'\0');
  GetWindowTextW(h, buf.data(), n + 1);
  return buf.data();
}

bool HasStyle(HWND h, LONG_PTR bits) { return (GetWindowLongPtrW(h, GWL_STYLE) & bits) == bits; }

int IdOf(HWND h) { return static_cast<int>(GetWindowLongPtrW(h, GWLP_ID) & 0xFFFF); }

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

HWND ChildById(HWND parent, int id) {
  for (HWND c : Children(parent))
    if (IdOf(c) == id) return c;
  return nullptr;
}

bool IsButtonClass(HWND h) { return _wcsicmp(ClassOf(h).c_str(), L"Button") == 0; }

// A window as a failure message names it: class, caption, shown or not. Nothing is sent to the
// window, which may belong to a program that is busy or gone.
std::wstring DescribeWindow(HWND h) {
  if (!IsWindow(h)) return L"a window already destroyed (its creation was reported)";
  return L"class " + Visible(ClassOf(h)) + L" caption " + Visible(CaptionOf(h)) +
         (IsWindowVisible(h) ? L" visible" : L" hidden") +
         (GetAncestor(h, GA_PARENT) == GetDesktopWindow() ? L"" : L" (not top-level)");
}

// Windows of the watched process whose creation the system reported (EVENT_OBJECT_CREATE). An
// out-of-context hook is called on the driver's thread while it pumps messages, so a plain global
// is enough.
std::vector<HWND>* g_createdWindows = nullptr;

void CALLBACK OnObjectCreated(HWINEVENTHOOK, DWORD, HWND h, LONG object, LONG child, DWORD, DWORD) {
  if (g_createdWindows != nullptr && h != nullptr && object == OBJID_WINDOW && child == CHILDID_SELF)
    g_createdWindows->push_back(h);
}

// One argument of a command line, written so that CommandLineToArgvW and the C runtime read it
// back as it was: quoted only when it must be (empty, or holding a blank or a quote); inside the
// quotes a quote is escaped and the backslashes before it, or before the closing quote, doubled.
// Other backslashes stand for themselves, so "/DIR=D:\CAD Tools\" keeps its last backslash.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++backslashes;
      ++i;
    }
    if (i == arg.size()) {
      quoted.append(backslashes * 2, L'\\');
      break;
    }
    quoted.append(arg[i] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    quoted += arg[i];
  }
  return quoted + L"\"";
}

int CheckState(HWND h) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(h, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &r))
    Fail(L"the control does not answer BM_GETCHECK");
  return static_cast<int>(r);
}

struct Geometry {
  RECT window{};
  std::vector<std::pair<int, RECT>> controls;  // control rectangles in the window's client coordinates
};

class Driver {
 public:
  int Run(int argc, wchar_t** argv);

 private:
  // process
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  bool exited_ = false;
  DWORD exitCode_ = 0;
  // windows
  HWND window_ = nullptr;   // the window that control steps act on
  HWND msgbox_ = nullptr;   // the message box that msgbox steps act on
  std::set<HWND> known_;    // windows found by caption: never taken for a message box
  std::optional<Geometry> geometry_;
  long long stopwatchStart_ = 0;
  DWORD pollMs_ = kDefaultPollMs;
  std::vector<std::pair<std::wstring, HANDLE>> held_;  // files held open without sharing
  int stepNo_ = 0;

  void Start(const std::wstring& exe, const std::wstring& cwd, const std::vector<std::wstring>& args);
  void Attach(const std::wstring& exeName, double timeout);
  void Kill();
  void Step(const std::vector<std::wstring>& t);

  std::vector<HWND> TopWindows() const;
  HWND FindWindowByCaption(const std::wstring& caption) const;
  bool IsMessageBox(HWND h) const;
  HWND FindMessageBox() const;
  void WaitFor(double seconds, const std::wstring& what, const std::function<bool()>& done);
  void CheckAlive() const;
  HWND Control(int id) const;
  HWND Window() const;
  HWND MsgBox() const;
  void DumpWindows() const;
  void DumpControls(HWND w) const;
  bool ControlMatches(HWND c, const std::vector<std::wstring>& states, size_t from, std::wstring& why) const;
  void Click(int id, bool async);
  void ExpectNoWindowUntilExit(double seconds);
  void HoldFile(const std::wstring& path);
  void PressKey(WPARAM vk);
  Geometry Measure(HWND w, const std::vector<int>& ids) const;
};

void Driver::CheckAlive() const {
  if (process_ == nullptr) Fail(L"no program has been started or attached");
}

std::vector<HWND> Driver::TopWindows() const {
  struct Ctx { DWORD pid; std::vector<HWND> found; } ctx{pid_, {}};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == c->pid) c->found.push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

HWND Driver::FindWindowByCaption(const std::wstring& caption) const {
  for (HWND h : TopWindows())
    if (IsWindowVisible(h) && CaptionOf(h) == caption) return h;
  return nullptr;
}

// A message box: a visible, enabled dialog window that is not one of the windows found by
// caption, carries the text static and at least one of the standard buttons, and has no tree
// (which would make it the folder browser).
bool Driver::IsMessageBox(HWND h) const {
  if (known_.count(h) != 0 || !IsWindowVisible(h) || !IsWindowEnabled(h)) return false;
  if (ClassOf(h) != L"#32770") return false;
  HWND text = ChildById(h, kMsgBoxTextId);
  if (text == nullptr || _wcsicmp(ClassOf(text).c_str(), L"Static") != 0) return false;
  if (ChildById(h, kBrowserTreeId) != nullptr) return false;
  for (int id = IDOK; id <= IDCONTINUE; ++id) {
    HWND b = ChildById(h, id);
    if (b != nullptr && IsButtonClass(b) && HasStyle(b, WS_VISIBLE)) return true;
  }
  return false;
}

HWND Driver::FindMessageBox() const {
  for (HWND h : TopWindows())
    if (IsMessageBox(h)) return h;
  return nullptr;
}

void Driver::WaitFor(double seconds, const std::wstring& what, const std::function<bool()>& done) {
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0);
  for (;;) {
    if (done()) return;
    if (GetTickCount64() >= deadline) {
      wchar_t buf[64];
      swprintf(buf, 64, L"%.1f", seconds);
      Fail(L"timed out after " + std::wstring(buf) + L" s waiting for " + what);
    }
    if (process_ != nullptr && !exited_ && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process_, &exitCode_);
      exited_ = true;
    }
    Sleep(pollMs_);
  }
}

HWND Driver::Window() const {
  if (window_ == nullptr) Fail(L"no current window: use wait-window first");
  if (!IsWindow(window_)) Fail(L"the current window has closed");
  return window_;
}

HWND Driver::MsgBox() const {
  if (msgbox_ == nullptr || !IsWindow(msgbox_)) Fail(L"no message box is open: use wait-msgbox first");
  return msgbox_;
}

HWND Driver::Control(int id) const {
  HWND c = ChildById(Window(), id);
  if (c == nullptr) Fail(L"the current window has no control " + std::to_wstring(id));
  return c;
}

void Driver::DumpControls(HWND w) const {
  OutLine(L"    window " + Visible(CaptionOf(w)) + L" class " + ClassOf(w) +
          (IsWindowEnabled(w) ? L"" : L" disabled"));
  for (HWND c : Children(w)) {
    std::wstring line = L"      " + std::to_wstring(IdOf(c)) + L" " + ClassOf(c);
    line += HasStyle(c, WS_VISIBLE) ? L" visible" : L" hidden";
    line += IsWindowEnabled(c) ? L" enabled" : L" disabled";
    if (IsButtonClass(c)) {
      LONG_PTR type = GetWindowLongPtrW(c, GWL_STYLE) & BS_TYPEMASK;
      if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON ||
          type == BS_3STATE || type == BS_AUTO3STATE)
        line += CheckState(c) == BST_CHECKED ? L" checked" : L" unchecked";
    }
    line += L" " + Visible(TextOf(c));
    OutLine(line);
  }
}

void Driver::DumpWindows() const {
  if (process_ == nullptr) return;
  std::vector<HWND> all = TopWindows();
  OutLine(L"    -- " + std::to_wstring(all.size()) + L" top-level window(s) of process " + std::to_wstring(pid_));
  for (HWND h : all) {
    if (!IsWindowVisible(h)) continue;
    DumpControls(h);
  }
}

bool Driver::ControlMatches(HWND c, const std::vector<std::wstring>& t, size_t from, std::wstring& why) const {
  for (size_t i = from; i < t.size(); ++i) {
    const std::wstring& s = t[i];
    bool ok = true;
    if (s == L"visible") ok = HasStyle(c, WS_VISIBLE);
    else if (s == L"hidden") ok = !HasStyle(c, WS_VISIBLE);
    else if (s == L"enabled") ok = IsWindowEnabled(c) != FALSE;
    else if (s == L"disabled") ok = IsWindowEnabled(c) == FALSE;
    else if (s == L"checked") ok = CheckState(c) == BST_CHECKED;
    else if (s == L"unchecked") ok = CheckState(c) == BST_UNCHECKED;
    else if (s == L"text" || s == L"text-contains") {
      if (i + 1 >= t.size()) Fail(s + L" needs a text");
      std::wstring want = t[++i];
      std::wstring have = TextOf(c);
      ok = s == L"text" ? have == want : have.find(want) != std::wstring::npos;
      if (!ok) {
        why = s + L" " + Visible(want) + L", found " + Visible(have);
        return false;
      }
      continue;
    } else if (s == L"focused") {
      GUITHREADINFO gti{};
      gti.cbSize = sizeof gti;
      ok = GetGUIThreadInfo(GetWindowThreadProcessId(c, nullptr), &gti) && gti.hwndFocus == c;
    } else {
      Fail(L"unknown control state: " + s);
    }
    if (!ok) {
      why = L"not " + s;
      return false;
    }
  }
  return true;
}

// A user can click only what is shown and enabled; BM_CLICK itself would happily click a disabled
// button, so the driver refuses.
void Driver::Click(int id, bool async) {
  HWND c = Control(id);
  if (!HasStyle(c, WS_VISIBLE)) Fail(L"control " + std::to_wstring(id) + L" is hidden: a user cannot click it");
  if (!IsWindowEnabled(c)) Fail(L"control " + std::to_wstring(id) + L" is disabled: a user cannot click it");
  if (!IsWindowEnabled(Window())) Fail(L"the window is disabled (a modal window is open above it)");
  if (async) {
    if (!PostMessageW(c, BM_CLICK, 0, 0)) Fail(L"PostMessage(BM_CLICK) failed");
    return;
  }
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(c, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &r))
    Fail(L"the click did not return within 5 s (use click-async for a button that opens a modal window)");
}

// The dialog manager turns Enter and Esc on the focused control into the dialog's IDOK and IDCANCEL
// commands, so the keys go to the control that has the focus, as the keyboard would send them.
void Driver::PressKey(WPARAM vk) {
  HWND w = Window();
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  HWND target = w;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &gti) && gti.hwndFocus != nullptr &&
      (gti.hwndFocus == w || IsChild(w, gti.hwndFocus)))
    target = gti.hwndFocus;
  UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
  LPARAM down = 1 | static_cast<LPARAM>(scan) << 16;
  LPARAM up = down | static_cast<LPARAM>(0xC0000000u);
  if (!PostMessageW(target, WM_KEYDOWN, vk, down) || !PostMessageW(target, WM_KEYUP, vk, up))
    Fail(L"could not post the key");
}

// An unattended run must never show anything, not even for a moment: every top-level window of
// the program counts, shown or hidden, whoever created it. A hidden window is no less a window (it
// can be shown at any time). That includes the default IME window ("IME" class), which Windows and
// Wine alike create only once a thread of the program has made a window of its own, so it betrays
// that window. The windows are enumerated every few ms; a creation hook catches a window that lives
// shorter than that. What the hook reports counts too, message-only windows included (COM's
// OleMainThreadWndClass, say): EnumWindows does not list them and nobody can see them, but a
// program that runs without a user interface has made a window it has no use for.
void Driver::ExpectNoWindowUntilExit(double seconds) {
  CheckAlive();
  std::vector<HWND> created;
  g_createdWindows = &created;
  HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, OnObjectCreated, pid_, 0, WINEVENT_OUTOFCONTEXT);
  struct Unhook {
    HWINEVENTHOOK hook;
    ~Unhook() {
      if (hook != nullptr) UnhookWinEvent(hook);
      g_createdWindows = nullptr;
    }
  } unhook{hook};
  if (hook == nullptr) OutLine(L"    (no creation hook: windows are only enumerated)");
  const ULONGLONG start = GetTickCount64();
  const ULONGLONG deadline = start + static_cast<ULONGLONG>(seconds * 1000.0);
  unsigned long polls = 0;
  for (;;) {
    // Exit first, then one last look: whatever the program made before it ended is reported by
    // then, since the hook's events are queued to this thread as they happen.
    const bool ended = exited_ || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    std::vector<HWND> found;
    auto look = [&] {
      for (HWND h : TopWindows())
        if (std::find(found.begin(), found.end(), h) == found.end()) found.push_back(h);
      for (HWND h : created)
        if (std::find(found.begin(), found.end(), h) == found.end()) found.push_back(h);
    };
    look();
    ++polls;
    if (!found.empty()) {
      // A window rarely comes alone (its IME window, its owner): a moment more to name them all.
      const ULONGLONG until = GetTickCount64() + kNoWindowSettleMs;
      while (GetTickCount64() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, kNoWindowPollMs, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        look();
      }
      std::wstring list;
      for (HWND h : found) list += L"\n      " + DescribeWindow(h);
      Fail(L"a window of the program appeared after " + std::to_wstring(GetTickCount64() - start) + L" ms:" + list);
    }
    if (ended) {
      if (!exited_) {
        GetExitCodeProcess(process_, &exitCode_);
        exited_ = true;
      }
      OutLine(L"    no window in " + std::to_wstring(GetTickCount64() - start) + L" ms (" + std::to_wstring(polls) +
              L" looks); exit code " + std::to_wstring(exitCode_));
      return;
    }
    if (GetTickCount64() >= deadline) {
      wchar_t buf[64];
      swprintf(buf, 64, L"%.1f", seconds);
      Fail(L"timed out after " + std::wstring(buf) + L" s waiting for the program to exit");
    }
    MsgWaitForMultipleObjects(1, &process_, FALSE, kNoWindowPollMs, QS_ALLINPUT);
  }
}

Geometry Driver::Measure(HWND w, const std::vector<int>& ids) const {
  Geometry g;
  GetWindowRect(w, &g.window);
  for (int id : ids) {
    HWND c = ChildById(w, id);
    if (c == nullptr) Fail(L"no control " + std::to_wstring(id) + L" to measure");
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&r), 2);
    g.controls.emplace_back(id, r);
  }
  return g;
}

void Driver::Start(const std::wstring& exe, const std::wstring& cwd, const std::vector<std::wstring>& args) {
  // The program name is taken up to the next quote, without escapes (a path holds no quote).
  std::wstring cmd = L"\"" + exe + L"\"";
  for (const auto& a : args) cmd += L" " + QuoteArgument(a);
  std::vector<wchar_t> cmdBuf(cmd.begin(), cmd.end());
  cmdBuf.push_back(L'\0');
  // Under Wine the first window call connects the driver to the desktop, which may take half a
  // second (the desktop's process is started then): done now, the driver is ready to watch the
  // program from its first moment, not blind while the program runs.
  GetDesktopWindow();
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmdBuf.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &si, &pi))
    Fail(L"CreateProcess failed for " + exe + L" (error " + std::to_wstring(GetLastError()) + L")");
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  OutLine(L"started " + exe + L" (process " + std::to_wstring(pid_) + L")");
  if (!args.empty()) OutLine(L"    command line " + Visible(cmd));
}

void Driver::Attach(const std::wstring& exeName, double timeout) {
  WaitFor(timeout, L"a running " + exeName, [&] {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe)) {
      if (_wcsicmp(pe.szExeFile, exeName.c_str()) == 0) {
        pid_ = pe.th32ProcessID;
        break;
      }
    }
    CloseHandle(snap);
    return pid_ != 0;
  });
  process_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid_);
  if (process_ == nullptr) Fail(L"cannot open process " + std::to_wstring(pid_));
  OutLine(L"attached to " + exeName + L" (process " + std::to_wstring(pid_) + L")");
}

// Opens a file without sharing (made empty if missing) and keeps it open until release-file or
// the driver's end.
void Driver::HoldFile(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) Fail(L"cannot hold " + path + L" (error " + std::to_wstring(GetLastError()) + L")");
  held_.emplace_back(path, f);
}

void Driver::Kill() {
  if (process_ != nullptr && !exited_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
    OutLine(L"    ended the driven program");
  }
}

double TimeoutArg(const std::vector<std::wstring>& t, size_t i) {
  if (i >= t.size()) return kDefaultTimeout;
  double s = 0;
  if (!ParseSeconds(t[i], s)) Fail(L"not a timeout in seconds: " + t[i]);
  return s;
}

void Driver::Step(const std::vector<std::wstring>& t) {
  const std::wstring& op = t[0];
  auto need = [&](size_t n) {
    if (t.size() < n + 1) Fail(op + L" needs " + std::to_wstring(n) + L" argument(s)");
  };

  if (op == L"must-fail") {
    // must-fail "REASON" STEP...: the step must fail with a message containing REASON. The
    // driver's own self-test uses it to show that its checks can fail.
    need(2);
    std::vector<std::wstring> inner(t.begin() + 2, t.end());
    try {
      Step(inner);
    } catch (const StepFailure& f) {
      if (f.message.find(t[1]) == std::wstring::npos)
        Fail(L"the step failed, but not with " + Visible(t[1]) + L": " + f.message);
      OutLine(L"    failed as expected: " + f.message);
      return;
    }
    Fail(L"the step did not fail");
  } else if (op == L"wait-window") {
    need(1);
    CheckAlive();
    HWND found = nullptr;
    WaitFor(TimeoutArg(t, 2), L"a window " + Visible(t[1]), [&] { return (found = FindWindowByCaption(t[1])) != nullptr; });
    window_ = found;
    known_.insert(found);
  } else if (op == L"wait-window-with") {
    // A window known by a control it holds, e.g. the folder browser by its tree 14145, whatever
    // its caption.
    need(1);
    CheckAlive();
    int id = ControlId(t[1]);
    HWND found = nullptr;
    WaitFor(TimeoutArg(t, 2), L"a window with control " + std::to_wstring(id), [&] {
      for (HWND h : TopWindows())
        if (IsWindowVisible(h) && ChildById(h, id) != nullptr && known_.count(h) == 0) found = h;
      return found != nullptr;
    });
    window_ = found;
    known_.insert(found);
    OutLine(L"    window " + Visible(CaptionOf(found)));
  } else if (op == L"hold-file") {
    // Holds a file open without sharing, as a running AutoCAD holds its modules: a copy onto it
    // fails with a sharing violation until release-file. Wine enforces sharing even for root,
    // which ignores read-only bits.
    need(1);
    HoldFile(t[1]);
  } else if (op == L"release-file") {
    need(1);
    auto it = std::find_if(held_.begin(), held_.end(), [&](const auto& h) { return h.first == t[1]; });
    if (it == held_.end()) Fail(L"not held: " + t[1]);
    CloseHandle(it->second);
    held_.erase(it);
  } else if (op == L"expect-file" || op == L"expect-no-file") {
    // Whether anything (file or folder) exists at the path, at this moment of the run.
    need(1);
    bool exists = GetFileAttributesW(t[1].c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists != (op == L"expect-file")) Fail(t[1] + (exists ? L" exists" : L" does not exist"));
  } else if (op == L"wait-closed") {
    HWND w = window_;
    if (w == nullptr) Fail(L"no current window");
    WaitFor(TimeoutArg(t, 1), L"the current window to close", [&] { return !IsWindow(w) || !IsWindowVisible(w); });
  } else if (op == L"expect-open") {
    HWND w = Window();
    if (!IsWindowVisible(w)) Fail(L"the current window is not shown");
  } else if (op == L"expect-title") {
    need(1);
    std::wstring have = CaptionOf(Window());
    if (have != t[1]) Fail(L"caption " + Visible(have) + L", expected " + Visible(t[1]));
  } else if (op == L"expect-control" || op == L"wait-control") {
    need(2);
    int id = ControlId(t[1]);
    std::vector<std::wstring> states(t.begin(), t.end());
    double timeout = 0;
    if (op == L"wait-control") {
      double s = 0;
      timeout = kDefaultTimeout;
      if (ParseSeconds(states.back(), s) && states.size() > 3) {
        timeout = s;
        states.pop_back();
      }
    }
    std::wstring why;
    // A message box that opens meanwhile cannot be what the scenario waits for: say so at once
    // instead of waiting out the limit.
    auto matches = [&] {
      if (op == L"wait-control")
        if (HWND m = FindMessageBox()) Fail(L"a message box opened: " + Visible(TextOf(ChildById(m, kMsgBoxTextId))));
      return ControlMatches(Control(id), states, 2, why);
    };
    if (op == L"expect-control") {
      if (!matches()) Fail(L"control " + std::to_wstring(id) + L": " + why);
    } else {
      try {
        WaitFor(timeout, L"control " + std::to_wstring(id), matches);
      } catch (const StepFailure& f) {
        Fail(f.message + L" (last seen: " + why + L")");
      }
    }
  } else if (op == L"click" || op == L"click-async") {
    need(1);
    Click(ControlId(t[1]), op == L"click-async");
  } else if (op == L"set-text") {
    need(2);
    HWND c = Control(ControlId(t[1]));
    DWORD_PTR r = 0;
    // WM_SETTEXT on an edit raises EN_CHANGE, as typing does.
    if (!SendMessageTimeoutW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t[2].c_str()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &r) || !r)
      Fail(L"WM_SETTEXT failed");
  } else if (op == L"command") {
    need(1);
    long id = 0;
    if (!ParseNumber(t[1], id)) Fail(L"not a command id: " + t[1]);
    if (!PostMessageW(Window(), WM_COMMAND, static_cast<WPARAM>(id & 0xFFFF), 0)) Fail(L"PostMessage failed");
  } else if (op == L"key-enter") {
    PressKey(VK_RETURN);
  } else if (op == L"key-escape") {
    PressKey(VK_ESCAPE);
  } else if (op == L"wait-msgbox") {
    CheckAlive();
    HWND found = nullptr;
    WaitFor(TimeoutArg(t, 1), L"a message box", [&] { return (found = FindMessageBox()) != nullptr; });
    msgbox_ = found;
    OutLine(L"    message box " + Visible(CaptionOf(found)) + L": " + Visible(TextOf(ChildById(found, kMsgBoxTextId))));
  } else if (op == L"expect-no-msgbox") {
    CheckAlive();
    double seconds = TimeoutArg(t, 1);
    if (t.size() < 2) seconds = 1.0;
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0);
    do {
      if (HWND m = FindMessageBox()) Fail(L"a message box is open: " + Visible(TextOf(ChildById(m, kMsgBoxTextId))));
      Sleep(pollMs_);
    } while (GetTickCount64() < deadline);
  } else if (op == L"expect-msgbox-text" || op == L"expect-msgbox-contains") {
    need(1);
    std::wstring have = TextOf(ChildById(MsgBox(), kMsgBoxTextId));
    bool ok = op == L"expect-msgbox-text" ? have == t[1] : have.find(t[1]) != std::wstring::npos;
    if (!ok) Fail(L"message box text " + Visible(have) + L", expected " + Visible(t[1]));
  } else if (op == L"expect-msgbox-caption") {
    need(1);
    std::wstring have = CaptionOf(MsgBox());
    if (have != t[1]) Fail(L"message box caption " + Visible(have) + L", expected " + Visible(t[1]));
  } else if (op == L"expect-msgbox-buttons") {
    need(1);
    std::set<int> want;
    for (size_t i = 1; i < t.size(); ++i) want.insert(ControlId(t[i]));
    std::set<int> have;
    for (HWND c : Children(MsgBox()))
      if (IsButtonClass(c) && HasStyle(c, WS_VISIBLE)) have.insert(IdOf(c));
    if (have != want) {
      std::wstring list;
      for (int id : have) list += L" " + std::to_wstring(id);
      Fail(L"message box buttons:" + list);
    }
  } else if (op == L"expect-msgbox-icon") {
    need(1);
    // The icon static is there in every box; it holds an icon only when the box was given one.
    HWND icon = ChildById(MsgBox(), kMsgBoxIconId);
    DWORD_PTR handle = 0;
    if (icon != nullptr &&
        !SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &handle))
      Fail(L"the icon static does not answer STM_GETICON");
    bool shown = icon != nullptr && HasStyle(icon, WS_VISIBLE) && handle != 0;
    if (t[1] != L"yes" && t[1] != L"no") Fail(L"expect-msgbox-icon takes yes or no");
    if (shown != (t[1] == L"yes")) Fail(shown ? L"the message box shows an icon" : L"the message box shows no icon");
  } else if (op == L"answer-msgbox") {
    need(1);
    HWND m = MsgBox();
    int id = ControlId(t[1]);
    HWND b = ChildById(m, id);
    if (b == nullptr || !HasStyle(b, WS_VISIBLE)) Fail(L"the message box has no button " + std::to_wstring(id));
    if (!PostMessageW(m, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(b)))
      Fail(L"PostMessage failed");
    WaitFor(TimeoutArg(t, 2), L"the message box to close", [&] { return !IsWindow(m) || !IsWindowVisible(m); });
    msgbox_ = nullptr;
  } else if (op == L"poll") {
    // poll MS: how often the waits look; a timed wait is only as exact as this.
    need(1);
    const int ms = _wtoi(t[1].c_str());
    if (ms < 1 || ms > 1000) Fail(L"poll takes 1 to 1000 ms");
    pollMs_ = static_cast<DWORD>(ms);
  } else if (op == L"stopwatch") {
    // stopwatch start | stopwatch lap LABEL: prints "stopwatch LABEL N ms" since the start, for
    // the timed scripts (scripts/bench-install.sh).
    need(1);
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    if (t[1] == L"start") {
      stopwatchStart_ = now.QuadPart;
    } else if (t[1] == L"lap") {
      need(2);
      LARGE_INTEGER frequency{};
      QueryPerformanceFrequency(&frequency);
      const long long ms = (now.QuadPart - stopwatchStart_) * 1000 / frequency.QuadPart;
      OutLine(L"stopwatch " + t[2] + L" " + std::to_wstring(ms) + L" ms");
    } else {
      Fail(L"stopwatch takes start or lap LABEL");
    }
  } else if (op == L"mark-geometry") {
    std::vector<int> ids;
    for (size_t i = 1; i < t.size(); ++i) ids.push_back(ControlId(t[i]));
    geometry_ = Measure(Window(), ids);
  } else if (op == L"expect-shortened") {
    // expect-shortened A B: the window keeps left, top and width and loses the distance between
    // the bottoms of controls B and A as measured by mark-geometry.
    need(2);
    if (!geometry_) Fail(L"use mark-geometry first");
    int a = ControlId(t[1]);
    int b = ControlId(t[2]);
    const RECT* ra = nullptr;
    const RECT* rb = nullptr;
    for (const auto& [id, r] : geometry_->controls) {
      if (id == a) ra = &r;
      if (id == b) rb = &r;
    }
    if (ra == nullptr || rb == nullptr) Fail(L"mark-geometry did not measure both controls");
    RECT now{};
    GetWindowRect(Window(), &now);
    const RECT& was = geometry_->window;
    long want = (was.bottom - was.top) - (rb->bottom - ra->bottom);
    OutLine(L"    window " + std::to_wstring(was.left) + L"," + std::to_wstring(was.top) + L" " +
            std::to_wstring(was.right - was.left) + L"x" + std::to_wstring(was.bottom - was.top) + L" -> " +
            std::to_wstring(now.left) + L"," + std::to_wstring(now.top) + L" " + std::to_wstring(now.right - now.left) +
            L"x" + std::to_wstring(now.bottom - now.top) + L", expected height " + std::to_wstring(want));
    if (now.left != was.left || now.top != was.top || now.right - now.left != was.right - was.left ||
        now.bottom - now.top != want)
      Fail(L"the window was not shortened as expected");
  } else if (op == L"wait-exit") {
    CheckAlive();
    WaitFor(TimeoutArg(t, 1), L"the program to exit", [&] {
      if (HWND m = FindMessageBox()) Fail(L"a message box opened: " + Visible(TextOf(ChildById(m, kMsgBoxTextId))));
      if (!exited_ && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process_, &exitCode_);
        exited_ = true;
      }
      return exited_;
    });
    OutLine(L"    exit code " + std::to_wstring(exitCode_));
    if (t.size() >= 4 && t[2] == L"expect") {
      long want = 0;
      if (!ParseNumber(t[3], want)) Fail(L"not an exit code: " + t[3]);
      if (static_cast<long>(exitCode_) != want) Fail(L"exit code " + std::to_wstring(exitCode_) + L", expected " + t[3]);
    }
  } else if (op == L"expect-no-window-until-exit") {
    need(1);
    ExpectNoWindowUntilExit(TimeoutArg(t, 1));
  } else if (op == L"expect-running") {
    CheckAlive();
    if (WaitForSingleObject(process_, 0) != WAIT_TIMEOUT) Fail(L"the program has exited");
  } else if (op == L"dump-controls") {
    DumpControls(Window());
  } else if (op == L"dump-windows") {
    DumpWindows();
  } else if (op == L"sleep") {
    need(1);
    double s = 0;
    if (!ParseSeconds(t[1], s) || s > 30) Fail(L"sleep takes at most 30 seconds");
    Sleep(static_cast<DWORD>(s * 1000.0));
  } else {
    Fail(L"unknown step: " + op);
  }
}

// The whole run has a limit too, so that nothing that the per-step limits miss can hang a suite.
struct Watchdog {
  DWORD seconds;
  HANDLE* process;
  std::function<void()> dump;
};

DWORD WINAPI WatchdogThread(LPVOID p) {
  auto* w = static_cast<Watchdog*>(p);
  Sleep(w->seconds * 1000);
  OutLine(L"FAIL: the driver's overall limit of " + std::to_wstring(w->seconds) + L" s has passed");
  try {
    if (w->dump) w->dump();
  } catch (const StepFailure&) {
    OutLine(L"    (the windows could not be read)");
  }
  if (*w->process != nullptr) TerminateProcess(*w->process, 99);
  ExitProcess(3);
}

void Usage() {
  OutLine(
      L"usage: driver.exe [--exe PATH [--cwd DIR] [--arg A]...] [--attach NAME.exe] [--env NAME=VALUE]...\n"
      L"                  [--hold-file PATH]... [--hold-mutex NAME]...\n"
      L"                  [--limit SECONDS] [--keep] [--script FILE]... [--step \"STEP\"]...\n"
      L"  --exe starts the program, --attach finds it among the running processes; --env sets a variable\n"
      L"  for the started program; --arg passes one argument, quoted as Windows programs read it;\n"
      L"  --hold-file holds a file open without sharing from before the start (see the step hold-file);\n"
      L"  --hold-mutex owns a named mutex from before the start (another run of the program holding it);\n"
      L"  --keep leaves the program running after the last step (never after a failure).");
}

std::vector<std::wstring> ReadScript(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) Fail(L"cannot open the script " + path);
  std::string bytes;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  CloseHandle(f);
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::wstring text = FromUtf8(bytes);
  std::vector<std::wstring> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

int Driver::Run(int argc, wchar_t** argv) {
  std::wstring exe, cwd, attach;
  std::vector<std::wstring> args;
  std::vector<std::wstring> holds;  // held before the program starts: an unattended run does not wait for a step
  std::vector<std::wstring> mutexes;  // named mutexes owned from before the start to the driver's end
  std::vector<std::wstring> steps;
  bool keep = false;
  static Watchdog watchdog{180, nullptr, {}};
  watchdog.process = &process_;
  watchdog.dump = [this] { DumpWindows(); };

  try {
    for (int i = 1; i < argc; ++i) {
      std::wstring a = argv[i];
      auto value = [&]() -> std::wstring {
        if (i + 1 >= argc) Fail(a + L" needs a value");
        return argv[++i];
      };
      if (a == L"--exe") exe = value();
      else if (a == L"--cwd") cwd = value();
      else if (a == L"--arg") args.push_back(value());
      else if (a == L"--hold-file") holds.push_back(value());
      else if (a == L"--hold-mutex") mutexes.push_back(value());
      else if (a == L"--attach") attach = value();
      else if (a == L"--keep") keep = true;
      else if (a == L"--env") {
        std::wstring kv = value();
        size_t eq = kv.find(L'=');
        if (eq == std::wstring::npos || eq == 0) Fail(L"--env takes NAME=VALUE");
        SetEnvironmentVariableW(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str());
      } else if (a == L"--limit") {
        long s = 0;
        if (!ParseNumber(value(), s) || s <= 0) Fail(L"--limit takes seconds");
        watchdog.seconds = static_cast<DWORD>(s);
      } else if (a == L"--script") {
        for (auto& line : ReadScript(value())) steps.push_back(line);
      } else if (a == L"--step") {
        steps.push_back(value());
      } else if (a == L"--help" || a == L"-h") {
        Usage();
        return 0;
      } else {
        Fail(L"unknown option " + a);
      }
    }
    if (exe.empty() == attach.empty()) Fail(L"give exactly one of --exe and --attach");
  } catch (const StepFailure& f) {
    OutLine(L"error: " + f.message);
    Usage();
    return 2;
  }

  HANDLE wd = CreateThread(nullptr, 0, WatchdogThread, &watchdog, 0, nullptr);
  if (wd != nullptr) CloseHandle(wd);

  try {
    for (const auto& path : holds) HoldFile(path);
    for (const auto& name : mutexes) {
      // Owned, as another run of the program owns it; let go when the driver ends.
      HANDLE m = CreateMutexW(nullptr, TRUE, name.c_str());
      if (m == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) Fail(L"cannot own the mutex " + name);
    }
    if (!exe.empty()) Start(exe, cwd, args);
    else Attach(attach, kDefaultTimeout);
    for (const auto& line : steps) {
      std::vector<std::wstring> tokens = Tokenize(line);
      if (tokens.empty() || tokens[0][0] == L'#') continue;
      ++stepNo_;
      OutLine(L"[" + std::to_wstring(stepNo_) + L"] " + line);
      Step(tokens);
    }
  } catch (const StepFailure& f) {
    OutLine(L"FAIL: step " + std::to_wstring(stepNo_) + L": " + f.message);
    try {
      DumpWindows();
    } catch (const StepFailure&) {
      OutLine(L"    (the windows could not be read)");
    }
    Kill();
    return 1;
  }
  if (!keep) Kill();
  OutLine(L"PASS: " + std::to_wstring(stepNo_) + L" step(s)");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Driver driver;
  return driver.Run(argc, argv);
}
