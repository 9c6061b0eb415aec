// The folder chooser's Win32 host: the classic shell browser, its callback, and the subclass
// that hands the browser's OK button and the added path box to CPathDialog.
#include "ui/win32/path_dialog_host.h"

#include "platform/win32/windows_api.h"
// objbase.h and shlobj.h need windows.h before them.
#include <objbase.h>
#include <shlobj.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/utf8_text.h"
#include "platform/win32/wide_text.h"
#include "ui/path_dialog.h"

namespace ui::win32 {
namespace {

// Controls inside the classic browser window.
constexpr int kTreeId = 14145;
constexpr int kTitleId = 14146;
constexpr int kStatusId = 14147;
// The id we give the path box we add; the browser itself uses none near it.
constexpr int kPathEditId = 14148;

// The path box sits in a 23-pixel band ending 4 pixels above the tree.
constexpr LONG kEditTopAboveTree = 27;
constexpr LONG kEditBottomAboveTree = 4;

constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;

constexpr wchar_t kSubclassProp[] = L"Vornex.PathDialogSub";

WORD LowWord(WPARAM value) { return static_cast<WORD>(value & 0xFFFFu); }
WORD HighWord(WPARAM value) { return static_cast<WORD>((value >> 16) & 0xFFFFu); }

// shell32 and ole32 serve the browser alone, so they are loaded when it is first opened rather
// than imported: an import is loaded and initialised (shell32's icon cache and change notices,
// COM's runtime) before wWinMain, on every start, for a dialog most users never open. Both are
// system KnownDLLs, mapped from the system's own copies whatever the search order; they stay
// loaded for the life of the process, as imports would.
struct ShellApi {
  decltype(&::SHGetMalloc) getMalloc;
  decltype(&::SHBrowseForFolderA) browseForFolder;
  decltype(&::SHGetPathFromIDListA) pathFromIdList;
  decltype(&::CoInitializeEx) coInitializeEx;
  decltype(&::CoUninitialize) coUninitialize;
};

std::optional<ShellApi> LoadShellApi() {
  using platform::win32::FindProc;
  const HMODULE shell32 = LoadLibraryW(L"shell32.dll");
  const HMODULE ole32 = LoadLibraryW(L"ole32.dll");
  const auto getMalloc = FindProc<decltype(&::SHGetMalloc)>(shell32, "SHGetMalloc");
  const auto browseForFolder = FindProc<decltype(&::SHBrowseForFolderA)>(shell32, "SHBrowseForFolderA");
  const auto pathFromIdList = FindProc<decltype(&::SHGetPathFromIDListA)>(shell32, "SHGetPathFromIDListA");
  const auto coInitializeEx = FindProc<decltype(&::CoInitializeEx)>(ole32, "CoInitializeEx");
  const auto coUninitialize = FindProc<decltype(&::CoUninitialize)>(ole32, "CoUninitialize");
  if (getMalloc == nullptr || browseForFolder == nullptr || pathFromIdList == nullptr || coInitializeEx == nullptr ||
      coUninitialize == nullptr) {
    return std::nullopt;
  }
  return ShellApi{getMalloc, browseForFolder, pathFromIdList, coInitializeEx, coUninitialize};
}

// Loaded once; null when a DLL or a function is missing, and then the browser is not shown.
const ShellApi* Shell() {
  static const std::optional<ShellApi> api = LoadShellApi();
  return api.has_value() ? &*api : nullptr;
}

// Releases the shell allocator on every way out of Run.
class ShellAllocator {
 public:
  explicit ShellAllocator(const ShellApi& shell) {
    if (shell.getMalloc(&malloc_) < 0) malloc_ = nullptr;
  }
  ~ShellAllocator() {
    if (malloc_ != nullptr) malloc_->Release();
  }
  ShellAllocator(const ShellAllocator&) = delete;
  ShellAllocator& operator=(const ShellAllocator&) = delete;
  explicit operator bool() const { return malloc_ != nullptr; }
  void Free(void* block) { malloc_->Free(block); }

 private:
  IMalloc* malloc_ = nullptr;
};

// The shell browser wants COM on its thread; undo only what this run did.
class ComApartment {
 public:
  explicit ComApartment(const ShellApi& shell)
      : shell_(shell), initialized_(shell.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED) >= 0) {}
  ~ComApartment() {
    if (initialized_) shell_.coUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  const ShellApi& shell_;
  bool initialized_;
};

class CPathDialogHost;

// Subclasses the browser window while it is open: the OK button and the path box's changes go
// to the chooser, everything else to the browser's own procedure.
class CPathDialogSub {
 public:
  explicit CPathDialogSub(CPathDialogHost* chooser) : m_pChooser(chooser) {}
  ~CPathDialogSub() { Detach(); }
  CPathDialogSub(const CPathDialogSub&) = delete;
  CPathDialogSub& operator=(const CPathDialogSub&) = delete;

  void Attach(HWND hwnd);
  void Detach();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  CPathDialogHost* m_pChooser;
  HWND m_hWnd = nullptr;
  WNDPROC m_oldProc = nullptr;
};

// One run of the browser: the window side of a CPathDialog, and its view for the chooser's logic.
class CPathDialogHost final : public BrowserView {
 public:
  CPathDialogHost(CPathDialog& chooser, const ShellApi& shell)
      : m_chooser(chooser), m_shell(shell), m_ansiTitle(TitleForAnsiApi(chooser.Title())), m_browserSubclass(this) {
    m_browseInfo.hwndOwner = ResolveOwner(chooser.OwnerWnd());
    m_browseInfo.pidlRoot = nullptr;
    m_browseInfo.pszDisplayName = nullptr;
    m_browseInfo.lpszTitle = m_ansiTitle.c_str();
    m_browseInfo.ulFlags = kBrowseFlags;
    m_browseInfo.lpfn = &BrowserCallback;
  }

  bool Run() {
    ShellAllocator allocator(m_shell);
    if (!allocator) return false;
    ComApartment apartment(m_shell);
    char displayName[MAX_PATH] = {};  // required by the browser; its content is not used
    m_browseInfo.pszDisplayName = displayName;
    m_browseInfo.lParam = reinterpret_cast<LPARAM>(this);
    m_browseInfo.lpfn = &BrowserCallback;
    // The chosen path comes from the OK handler, not from the returned item.
    PIDLIST_ABSOLUTE item = m_shell.browseForFolder(&m_browseInfo);
    if (item != nullptr) allocator.Free(item);
    m_hBrowserWnd = nullptr;
    return true;
  }

  void OnOK() { m_chooser.OnOK(*this); }
  void OnPathTextChanged() { m_chooser.OnPathTextChanged(*this); }
  void OnDestroyed() {
    m_hBrowserWnd = nullptr;
    m_hPathEdit = nullptr;
  }

  // BrowserView
  void EnableOk(bool enable) override {
    SendMessageW(m_hBrowserWnd, BFFM_ENABLEOK, 0, enable ? TRUE : FALSE);
  }
  void SetStatusText(const std::string& ansi) override {
    SendMessageA(m_hBrowserWnd, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(ansi.c_str()));
  }
  void SetPathText(const std::string& ansi) override {
    if (m_hPathEdit != nullptr) SetWindowTextA(m_hPathEdit, ansi.c_str());
  }
  std::string PathText() override {
    if (m_hPathEdit == nullptr) return std::string();
    // The length is an upper bound in a double-byte code page; the copy says how much it wrote.
    const int length = GetWindowTextLengthA(m_hPathEdit);
    if (length <= 0) return std::string();
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(m_hPathEdit, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
  }
  void FocusPathEdit() override {
    if (m_hPathEdit != nullptr) SetFocus(m_hPathEdit);
  }
  void EndBrowser(int code) override { EndDialog(m_hBrowserWnd, code); }
  platform::WindowRef MessageBoxOwner() override { return reinterpret_cast<platform::WindowRef>(m_hBrowserWnd); }

 private:
  static int CALLBACK BrowserCallback(HWND hwnd, UINT message, LPARAM lParam, LPARAM data) {
    auto* host = reinterpret_cast<CPathDialogHost*>(data);
    if (host == nullptr) return 0;
    if (message == BFFM_INITIALIZED) host->OnInitialized(hwnd);
    if (message == BFFM_SELCHANGED) host->OnSelChanged(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam));
    return 0;
  }

  // The classic browser takes its title through the ANSI API; where the code page cannot hold
  // the text, OnInitialized puts the whole text on the title control through the wide API.
  static std::string TitleForAnsiApi(const char8_t* title) {
    if (title == nullptr) return std::string();
    std::string ansi;
    if (!text::ToAnsi(title, ansi)) return std::string(" ");
    return ansi;
  }

  // No explicit parent: the window the user came from (the setup dialog), as its last active
  // pop-up, so that the browser is modal to what is on top.
  static HWND ResolveOwner(platform::WindowRef parent) {
    if (parent != 0) return reinterpret_cast<HWND>(parent);
    HWND active = GetActiveWindow();
    if (active == nullptr) return nullptr;
    HWND root = GetAncestor(active, GA_ROOT);
    if (root == nullptr) root = active;
    return GetLastActivePopup(root);
  }

  void OnInitialized(HWND hwnd) {
    m_hBrowserWnd = hwnd;
    using platform::win32::Utf8ToWide;
    if (m_chooser.WindowCaption() != nullptr) SetWindowTextW(hwnd, Utf8ToWide(m_chooser.WindowCaption()).c_str());
    if (m_chooser.Title() != nullptr) {
      if (HWND title = GetDlgItem(hwnd, kTitleId); title != nullptr) {
        SetWindowTextW(title, Utf8ToWide(m_chooser.Title()).c_str());
      }
    }
    m_browserSubclass.Attach(hwnd);
    if (HWND status = GetDlgItem(hwnd, kStatusId); status != nullptr) ShowWindow(status, SW_HIDE);
    CreatePathEdit(hwnd);

    const std::string start = m_chooser.InitialSelection();
    if (!start.empty()) SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(start.c_str()));
  }

  void CreatePathEdit(HWND hwnd) {
    HWND tree = GetDlgItem(hwnd, kTreeId);
    if (tree == nullptr) return;  // not the classic browser: no room we know of for the box
    RECT treeRect{};
    GetWindowRect(tree, &treeRect);
    POINT topLeft{treeRect.left, treeRect.top - kEditTopAboveTree};
    POINT bottomRight{treeRect.right, treeRect.top - kEditBottomAboveTree};
    ScreenToClient(hwnd, &topLeft);
    ScreenToClient(hwnd, &bottomRight);

    m_hPathEdit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                  topLeft.x, topLeft.y, bottomRight.x - topLeft.x, bottomRight.y - topLeft.y, hwnd,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPathEditId)), nullptr, nullptr);
    if (m_hPathEdit == nullptr) return;
    // Tab from the title straight into the box, then on to the tree.
    HWND beforeTree = GetWindow(tree, GW_HWNDPREV);
    SetWindowPos(m_hPathEdit, beforeTree != nullptr ? beforeTree : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(m_hPathEdit, SW_SHOW);
    const LRESULT font = SendMessageW(hwnd, WM_GETFONT, 0, 0);
    SendMessageW(m_hPathEdit, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
  }

  void OnSelChanged(PCIDLIST_ABSOLUTE item) {
    // SHGetPathFromIDListA needs MAX_PATH bytes and fails for a longer path rather than cutting it.
    char path[MAX_PATH] = {};
    const bool havePath = item != nullptr && m_shell.pathFromIdList(item, path) != FALSE;
    m_chooser.OnSelChanged(*this, havePath ? std::string(path) : std::string());
  }

  CPathDialog& m_chooser;
  const ShellApi& m_shell;
  std::string m_ansiTitle;
  BROWSEINFOA m_browseInfo{};
  HWND m_hBrowserWnd = nullptr;
  HWND m_hPathEdit = nullptr;
  CPathDialogSub m_browserSubclass;
};

void CPathDialogSub::Attach(HWND hwnd) {
  if (m_hWnd != nullptr || hwnd == nullptr) return;
  if (SetPropW(hwnd, kSubclassProp, this) == FALSE) return;
  m_hWnd = hwnd;
  m_oldProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CPathDialogSub::WindowProc)));
  if (m_oldProc == nullptr) {
    RemovePropW(hwnd, kSubclassProp);
    m_hWnd = nullptr;
  }
}

void CPathDialogSub::Detach() {
  if (m_hWnd == nullptr) return;
  SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
  RemovePropW(m_hWnd, kSubclassProp);
  m_hWnd = nullptr;
}

LRESULT CALLBACK CPathDialogSub::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<CPathDialogSub*>(GetPropW(hwnd, kSubclassProp));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  const WNDPROC oldProc = self->m_oldProc;

  if (message == WM_COMMAND) {
    // The browser's own OK processing must not run: the chooser validates, asks and creates.
    if (LowWord(wParam) == IDOK) {
      self->m_pChooser->OnOK();
      return 0;
    }
    if (LowWord(wParam) == kPathEditId && HighWord(wParam) == EN_CHANGE) {
      self->m_pChooser->OnPathTextChanged();
      return 0;
    }
  }
  if (message == WM_NCDESTROY) {
    self->Detach();
    self->m_pChooser->OnDestroyed();
  }
  return CallWindowProcW(oldProc, hwnd, message, wParam, lParam);
}

ShellFolderBrowser g_shellBrowser;

}  // namespace

bool ShellFolderBrowser::Run(CPathDialog& chooser) {
  const ShellApi* shell = Shell();
  if (shell == nullptr) return false;
  CPathDialogHost host(chooser, *shell);
  return host.Run();
}

void UseShellFolderBrowser() { SetCurrentFolderBrowser(&g_shellBrowser); }

}  // namespace ui::win32
