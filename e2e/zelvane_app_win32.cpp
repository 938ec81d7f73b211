// Win32 side of the end-to-end driver: files, processes and other programs' windows.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "e2e/zelvane_app.h"
#include "platform/system_win32.h"
#include "testing/files_win32.h"
#include "testing/process_win32.h"
#include "ui/main_window_ids.h"

namespace zelvane::e2e {
namespace {

[[noreturn]] void Fail(const std::string& what, DWORD error) {
  throw std::runtime_error(what + ": " + SystemMessage(error) + " (" + std::to_string(error) + ")");
}

HWND AsWindow(void* p) { return static_cast<HWND>(p); }

std::wstring TextOf(HWND window) {
  // GetWindowTextW on another process's window reads the text the system keeps for it, without
  // sending the window a message, so a busy program cannot hold the driver up.
  std::wstring text(8192, L'\0');
  const int n = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(n, 0)));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  const int n = GetClassNameW(window, name, 256);
  return std::wstring(name, static_cast<std::size_t>(std::max(n, 0)));
}

bool SameNoCase(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

DWORD ProcessOf(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::uint32_t Style(HWND window) { return static_cast<std::uint32_t>(GetWindowLongW(window, GWL_STYLE)); }

Rect RectOf(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

// The control with the keyboard focus on the thread of `window`; null when none.
HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// The first visible top-level window of `pid` whose class is `className`.
struct TopLevelSearch {
  DWORD pid;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<TopLevelSearch*>(param);
  if (ProcessOf(window) != s->pid || !IsWindowVisible(window)) return TRUE;
  if (!SameNoCase(ClassOf(window), s->className)) return TRUE;
  s->found = window;
  return FALSE;
}

HWND FindTopLevel(DWORD pid, const wchar_t* className) {
  TopLevelSearch search{pid, className, nullptr};
  EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

}  // namespace

std::wstring WindowsPath(std::string_view path) {
  std::wstring out = Widen(path);
  std::replace(out.begin(), out.end(), L'/', L'\\');
  if (!out.empty() && out[0] == L'\\' && (out.size() < 2 || out[1] != L'\\')) out = L"Z:" + out;
  return out;
}

std::wstring BuiltProgram(const wchar_t* variable, std::string_view built) {
  wchar_t buffer[4096] = {};
  const DWORD n = GetEnvironmentVariableW(variable, buffer, 4096);
  return WindowsPath(n > 0 && n < 4096 ? Narrow(buffer) : std::string(built));
}

std::wstring ZelvaneExe() { return BuiltProgram(L"ZELVANE_EXE", ZELVANE_EXE_BUILT); }

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// ---- Folder ----

Folder::Folder(std::wstring_view prefix)
    : owned_(std::in_place, std::filesystem::path(prefix)), path_(owned_->Path().wstring()) {}

std::unique_ptr<Folder> Folder::Existing(std::wstring path) {
  std::unique_ptr<Folder> folder(new Folder());
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  folder->path_ = std::move(path);
  return folder;
}

Folder::~Folder() {
  if (owned_ && GetEnvironmentVariableW(L"ZELVANE_E2E_KEEP", nullptr, 0) > 0) owned_->Keep();
}

std::wstring Folder::Join(std::wstring_view relative) const {
  return relative.empty() ? path_ : path_ + L"\\" + std::wstring(relative);
}

void Folder::MakeFolders(std::wstring_view relative) {
  std::filesystem::create_directories(testing::Literal(Join(relative)));
}

void Folder::Write(std::wstring_view relative, std::string_view bytes) {
  std::filesystem::create_directories(testing::Literal(Join(relative)).parent_path());
  testing::WriteBytes(Join(relative), std::string(bytes));
}

std::optional<std::string> Folder::Read(std::wstring_view relative) const {
  if (!Exists(relative)) return std::nullopt;
  return testing::ReadBytes(Join(relative));
}

bool Folder::Exists(std::wstring_view relative) const {
  return GetFileAttributesW(testing::Literal(Join(relative)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::uint64_t Folder::WriteTime(std::wstring_view relative) const {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(testing::Literal(Join(relative)).c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    Fail("read the attributes of " + Narrow(Join(relative)), error);
  }
  return std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
}

void Folder::CopyIn(const std::wstring& source, std::wstring_view relative) {
  if (!CopyFileW(source.c_str(), Join(relative).c_str(), TRUE)) {
    const DWORD error = GetLastError();
    Fail("copy " + Narrow(source), error);
  }
}

std::vector<std::wstring> Folder::List(std::wstring_view relative) const {
  return testing::Entries(Join(relative));
}

// ---- what the user sees ----

std::string ToString(const Rect& r) {
  return "(" + std::to_string(r.x) + "," + std::to_string(r.y) + ") " + std::to_string(r.width) + "x" +
         std::to_string(r.height);
}

std::string MessageBoxView::Describe() const {
  std::string buttonList;
  for (int id : buttons) buttonList += (buttonList.empty() ? "" : ",") + std::to_string(id);
  return "title \"" + Narrow(title) + "\", text \"" + Narrow(text) + "\", buttons {" + buttonList + "}, " +
         (icon ? "an icon" : "no icon") + (ownedByWindow ? ", owned by the main window" : ", NOT owned by the main window");
}

ZelvaneProcess::ZelvaneProcess(const std::wstring& exe, const std::wstring& workingFolder,
                               const std::wstring& arguments, const std::wstring& standardOutput, Name name) {
  const std::wstring named = name == Name::Quoted ? L"\"" + exe + L"\"" : L"\t" + exe;
  // Started as Explorer starts it, with no standard handles; or as a script's "> file" does.
  process_ = std::make_unique<testing::Process>(testing::Process::Start{
      .exe = exe,
      .commandLine = name == Name::LeftOut ? arguments : named + (arguments.empty() ? L"" : L" " + arguments),
      .folder = workingFolder,
      .outputFile = standardOutput});
  processId_ = process_->Id();
}

ZelvaneProcess::~ZelvaneProcess() = default;

bool ZelvaneProcess::WaitForWindow(milliseconds bound) {
  return WaitUntil(
      [&] {
        window_ = FindTopLevel(processId_, main_window::kClassName);
        return window_ != nullptr || !Running();
      },
      bound) &&
         window_ != nullptr;
}

bool ZelvaneProcess::WindowExists() const { return window_ && IsWindow(AsWindow(window_)); }
std::wstring ZelvaneProcess::Caption() const { return TextOf(AsWindow(window_)); }
std::uint32_t ZelvaneProcess::WindowStyle() const { return Style(AsWindow(window_)); }

Rect ZelvaneProcess::ClientArea() const {
  RECT r{};
  GetClientRect(AsWindow(window_), &r);
  return RectOf(r);
}

Rect ZelvaneProcess::WindowScreenRect() const {
  RECT r{};
  GetWindowRect(AsWindow(window_), &r);
  return RectOf(r);
}

void* ZelvaneProcess::Control(int id) const { return window_ ? GetDlgItem(AsWindow(window_), id) : nullptr; }
bool ZelvaneProcess::HasControl(int id) const { return Control(id) != nullptr; }
std::wstring ZelvaneProcess::ControlClass(int id) const { return ClassOf(AsWindow(Control(id))); }
std::wstring ZelvaneProcess::ControlText(int id) const {
  HWND control = AsWindow(Control(id));
  return control ? TextOf(control) : L"";
}
std::uint32_t ZelvaneProcess::ControlStyle(int id) const { return Style(AsWindow(Control(id))); }
bool ZelvaneProcess::ControlEnabled(int id) const { return IsWindowEnabled(AsWindow(Control(id))) != 0; }
bool ZelvaneProcess::ControlVisible(int id) const { return IsWindowVisible(AsWindow(Control(id))) != 0; }

Rect ZelvaneProcess::ControlRect(int id) const {
  RECT r{};
  GetWindowRect(AsWindow(Control(id)), &r);
  MapWindowPoints(HWND_DESKTOP, AsWindow(window_), reinterpret_cast<POINT*>(&r), 2);
  return RectOf(r);
}

int ZelvaneProcess::FocusedControlId() const {
  const HWND focus = FocusOf(AsWindow(window_));
  return focus && IsChild(AsWindow(window_), focus) ? GetDlgCtrlID(focus) : 0;
}

void ZelvaneProcess::Click(int id) { PostMessageW(AsWindow(Control(id)), BM_CLICK, 0, 0); }

void ZelvaneProcess::PressEnter() {
  const HWND focus = FocusOf(AsWindow(window_)), target = focus ? focus : AsWindow(window_);
  const UINT scan = MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, VK_RETURN, static_cast<LPARAM>(1u | scan << 16));
  PostMessageW(target, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(1u | scan << 16 | 3u << 30));
}

void ZelvaneProcess::CloseWindow() { PostMessageW(AsWindow(window_), WM_CLOSE, 0, 0); }

void* ZelvaneProcess::FindMessageBox() const { return FindTopLevel(processId_, L"#32770"); }
bool ZelvaneProcess::MessageBoxOpen() const { return FindMessageBox() != nullptr; }

std::optional<MessageBoxView> ZelvaneProcess::WaitForMessageBox(milliseconds bound) {
  HWND box = nullptr;
  if (!WaitUntil(
          [&] {
            box = AsWindow(FindMessageBox());
            return box != nullptr || !Running();
          },
          bound) ||
      !box)
    return std::nullopt;
  MessageBoxView view;
  view.title = TextOf(box);
  view.ownedByWindow = window_ && GetWindow(box, GW_OWNER) == AsWindow(window_);
  view.windowDisabled = window_ && !IsWindowEnabled(AsWindow(window_));
  RECT r{};
  GetWindowRect(box, &r);
  view.screenRect = RectOf(r);
  for (HWND child : Children(box)) {
    if (!IsWindowVisible(child)) continue;
    const std::wstring cls = ClassOf(child);
    if (SameNoCase(cls, L"Static")) {
      if ((Style(child) & SS_TYPEMASK) == SS_ICON) {
        // A message box without an icon keeps the control, empty and without size.
        DWORD_PTR icon = 0;
        RECT area{};
        GetClientRect(child, &area);
        if (SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon) && icon != 0 &&
            area.right > area.left && area.bottom > area.top)
          view.icon = true;
      } else {
        const std::wstring text = TextOf(child);
        if (!text.empty()) view.text += (view.text.empty() ? L"" : L"\n") + text;
      }
    } else if (SameNoCase(cls, L"Button")) {
      view.buttons.push_back(GetDlgCtrlID(child));
    }
  }
  std::sort(view.buttons.begin(), view.buttons.end());
  return view;
}

bool ZelvaneProcess::Answer(int buttonId) {
  HWND box = AsWindow(FindMessageBox());
  if (!box) return false;
  HWND button = GetDlgItem(box, buttonId);
  if (!button || !IsWindowVisible(button)) return false;
  return PostMessageW(button, BM_CLICK, 0, 0) != 0;
}

bool ZelvaneProcess::WaitForMessageBoxGone(milliseconds bound) {
  return WaitUntil([&] { return !MessageBoxOpen(); }, bound).has_value();
}

std::optional<unsigned long> ZelvaneProcess::WaitForExit(milliseconds bound) { return process_->Wait(bound); }

bool ZelvaneProcess::Running() const { return process_->Running(); }

std::vector<unsigned long> ZelvaneProcess::LiveChildren() const { return testing::ChildProcesses(processId_); }

}  // namespace zelvane::e2e
