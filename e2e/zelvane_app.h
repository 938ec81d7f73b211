#pragma once
// Drives Zelvane.exe from outside, as a person at the screen would: a Quindrel folder to run it
// in, the running program's window and message boxes, and the files it leaves behind.
// Every wait takes a bound in milliseconds; nothing here waits without one.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_win32.h"
#include "testing/files.h"
#include "testing/wait_until.h"

namespace zelvane::testing {
class Process;
}

namespace zelvane::e2e {

using std::chrono::milliseconds;
using testing::WaitUntil;

// A path as Windows sees it: a Unix path (as under Wine, "/a/b") becomes "Z:\a\b"; slashes
// become backslashes.
std::wstring WindowsPath(std::string_view path);

// A program the tests start: the one `variable` of the environment names when set (on Windows,
// where the programs built on Linux run), otherwise the one this program was built against.
std::wstring BuiltProgram(const wchar_t* variable, std::string_view built);
// The Zelvane.exe under test (ZELVANE_EXE).
std::wstring ZelvaneExe();

// Screen pixels per logical inch, across.
int ScreenDpi();

// A folder laid out by the caller like Quindrel's, and the file operations the driver makes in it.
class Folder {
 public:
  // A fresh temporary folder named `prefix` plus a unique number. The destructor removes it with
  // everything inside, unless ZELVANE_E2E_KEEP is set.
  explicit Folder(std::wstring_view prefix);
  // An existing folder, left in place by the destructor.
  static std::unique_ptr<Folder> Existing(std::wstring path);
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::wstring& Path() const { return path_; }
  std::wstring Join(std::wstring_view relative) const;  // Path() + '\' + relative

  void MakeFolders(std::wstring_view relative);  // like mkdir -p
  void Write(std::wstring_view relative, std::string_view bytes);  // its folders made as needed
  std::optional<std::string> Read(std::wstring_view relative) const;  // nullopt: no such file
  bool Exists(std::wstring_view relative) const;
  std::uint64_t WriteTime(std::wstring_view relative) const;  // when the file was last written (FILETIME)
  void CopyIn(const std::wstring& source, std::wstring_view relative);
  // The names in a folder (files and folders, without "." and ".."), in the order the system
  // lists them.
  std::vector<std::wstring> List(std::wstring_view relative = L"") const;

 private:
  Folder() = default;
  std::optional<testing::TempFolder> owned_;
  std::wstring path_;
};

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};
std::string ToString(const Rect& r);
inline void PrintTo(const Rect& r, std::ostream* out) { *out << ToString(r); }

// A message box as the user sees it.
struct MessageBoxView {
  std::wstring title;
  std::wstring text;           // the message, from its static text
  std::vector<int> buttons;    // the IDs of the visible buttons (IDOK 1, IDYES 6, IDNO 7...), sorted
  bool icon = false;           // an icon is shown beside the text
  bool ownedByWindow = false;    // its owner is the program's main window
  bool windowDisabled = false;   // the main window is disabled while it is open
  Rect screenRect;             // where it is on the screen, frame included
  std::string Describe() const;
};

// One run of Zelvane.exe. The destructor ends the process (and waits a bounded time) if it is
// still running.
class ZelvaneProcess {
 public:
  // How the command line names the program: quoted, as most launchers write it; unquoted, blanks
  // and all, after a tab, as a careless one does; or not at all.
  enum class Name { Quoted, Unquoted, LeftOut };
  // Starts `exe` with `arguments`, the module always named to the system apart; its standard output
  // goes to the file `standardOutput` when one is named.
  ZelvaneProcess(const std::wstring& exe, const std::wstring& workingFolder, const std::wstring& arguments = L"",
                 const std::wstring& standardOutput = L"", Name name = Name::Quoted);
  ~ZelvaneProcess();
  ZelvaneProcess(const ZelvaneProcess&) = delete;
  ZelvaneProcess& operator=(const ZelvaneProcess&) = delete;

  unsigned long Id() const { return processId_; }

  // Finds the visible top-level window of the main window's class belonging to this process.
  bool WaitForWindow(milliseconds bound);
  bool WindowExists() const;  // the window found by WaitForWindow still exists
  std::wstring Caption() const;
  std::uint32_t WindowStyle() const;
  Rect ClientArea() const;
  Rect WindowScreenRect() const;  // the whole window, frame included, in screen coordinates

  bool HasControl(int id) const;
  std::wstring ControlClass(int id) const;
  std::wstring ControlText(int id) const;
  std::uint32_t ControlStyle(int id) const;
  bool ControlEnabled(int id) const;
  bool ControlVisible(int id) const;
  Rect ControlRect(int id) const;  // in the window's client coordinates
  // The control ID of the window that has the keyboard focus in the program's GUI thread;
  // 0 when the focus is on no child of the main window.
  int FocusedControlId() const;

  void Click(int id);      // BM_CLICK, posted: the program handles it in its own time
  void PressEnter();       // WM_KEYDOWN/WM_KEYUP VK_RETURN, posted to the focused window
  void CloseWindow();        // WM_CLOSE, posted, as the close box does

  // The first visible standard dialog (#32770) of this process.
  std::optional<MessageBoxView> WaitForMessageBox(milliseconds bound);
  bool MessageBoxOpen() const;
  // Clicks the button `buttonId` of the open message box; false when there is none to click.
  bool Answer(int buttonId);
  bool WaitForMessageBoxGone(milliseconds bound);

  // The exit code once the process has ended within `bound`.
  std::optional<unsigned long> WaitForExit(milliseconds bound);
  bool Running() const;

  // Processes still alive that this one started.
  std::vector<unsigned long> LiveChildren() const;

 private:
  void* FindMessageBox() const;
  void* Control(int id) const;

  std::unique_ptr<testing::Process> process_;
  unsigned long processId_ = 0;
  void* window_ = nullptr;
};

}  // namespace zelvane::e2e
