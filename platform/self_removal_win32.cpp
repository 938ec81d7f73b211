// Removal of the program's own executable, its running image whatever its name, once the
// program has ended.
//
// Windows refuses to delete the file of a running program (ERROR_ACCESS_DENIED), so another
// process has to do it after the program has gone. That process is a copy of the program itself,
// started in a special mode:
//
//  0. First the image is opened for deletion and closed again: when that is refused (no right to
//     delete it, a read-only medium, another program holding it), the user is told at once and
//     nothing else happens.
//  1. The running image (GetModuleFileNameW) is copied to a fresh file in the temporary folder
//     (GetTempFileNameW, prefix "zlv").
//  2. Before anything is written to it, the copy is opened with FILE_FLAG_DELETE_ON_CLOSE and
//     access DELETE only, sharing reading, writing and deletion. The copy is written through a
//     second, ordinary handle that is closed before the copy is started: CreateProcess opens the
//     image for execution sharing only reading and deletion, so no writer may remain.
//  3. The copy is started (DETACHED_PROCESS, outside the program's job when the job allows it,
//     in the temporary folder so that it holds nothing in the program's folder) with
//         "<copy>" /zelvane-remove-after <handle> <process id> "<path>"
//     where <handle> is an inheritable SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION handle to
//     the program's process. Only that handle is inherited (PROC_THREAD_ATTRIBUTE_HANDLE_LIST;
//     plain inheritance where the list cannot be set up, the program holding no other inheritable
//     handle then).
//  4. The program closes its handles, the delete-on-close one last, and ends.
//  5. In the copy, the program reads that line as it reads any command line, and
//     RunAsRemovalHelper checks that the handle is an inherited handle to the process whose id it
//     was given, waits for that process to end (at most five minutes), deletes <path>
//     (retrying for up to ten seconds while the file is still locked), checks that it is gone and
//     ends. When it is not, it says so in a message box of its own: the program that asked has
//     ended by then.
//
// Why the copy goes away: the delete-on-close request is made when no image section of the copy
// exists yet, which is when the file system checks it. The handle carrying it is the last handle
// to the file, since CreateProcess closes its own once the image section is made; closing it
// deletes the file's name while the copy runs, the running image staying valid, as any open file
// stays valid after its name is deleted. Where the name lingers instead (Wine unlinks once the
// last user of the file, the running copy's image, is gone), it goes when the copy ends. Either
// way nothing is left, whatever happens to the copy, and nothing needs administrator rights,
// unlike MoveFileEx(MOVEFILE_DELAY_UNTIL_REBOOT), or a console, unlike a batch file.
//
// The helper only ever deletes the path on its command line, only after the process named there
// has ended, and does nothing at all with a line it cannot trust: the program then takes the
// switch for one it does not know.

#include "platform/self_removal_win32.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/caption.h"
#include "platform/failure_win32.h"
#include "platform/owned_handle_win32.h"
#include "platform/paths_win32.h"
#include "platform/platform.h"
#include "platform/text_win32.h"
#include "platform/windows_path.h"

namespace zelvane {
namespace {

constexpr DWORD kParentWaitMs = 5 * 60 * 1000;
constexpr DWORD kDeletePauseMs = 100;

constexpr char kArrange[] = "arrange the removal of the program";

// A failure in the temporary folder, which the reason then names.
[[noreturn]] void FailInTemp(const std::string& path, const std::wstring& temp, DWORD error) {
  throw PlatformError(kArrange, path, SystemMessage(error) + " (temporary folder \"" + Narrow(temp) + "\")");
}

// One value of the helper's line. A file path holds no quotation mark, and the program reads
// quotes as grouping only.
std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

void CopyImage(const std::wstring& from, const std::wstring& to, const std::string& path,
               const std::wstring& temp) {
  OwnedHandle source(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!source.Valid()) Fail(kArrange, path, GetLastError());
  OwnedHandle target(CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target.Valid()) FailInTemp(path, temp, GetLastError());
  std::vector<char> buffer(1 << 16);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(source.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
      Fail(kArrange, path, GetLastError());
    if (got == 0) break;
    DWORD put = 0;
    if (!WriteFile(target.Get(), buffer.data(), got, &put, nullptr)) FailInTemp(path, temp, GetLastError());
    if (put != got) FailInTemp(path, temp, ERROR_WRITE_FAULT);
  }
  if (!target.Close()) FailInTemp(path, temp, GetLastError());
}

// The attribute list that lets a new process inherit `*handle` and nothing else; empty where the
// system offers no such list.
class InheritOnly {
 public:
  explicit InheritOnly(HANDLE* handle) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return;
    buffer_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handle, sizeof(HANDLE),
                                   nullptr, nullptr)) {
      DeleteProcThreadAttributeList(list);
      return;
    }
    list_ = list;
  }
  ~InheritOnly() {
    if (list_) DeleteProcThreadAttributeList(list_);
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;
  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

 private:
  std::vector<unsigned char> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

void StartRemovalHelper(const std::wstring& systemPath, const std::string& path) {
  const std::wstring image = ModulePath();
  const std::wstring target = FullPathName(systemPath);
  if (target.empty()) Fail(kArrange, path, GetLastError());

  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0) Fail(kArrange, path, GetLastError());
  if (n > MAX_PATH) Fail(kArrange, path, ERROR_FILENAME_EXCED_RANGE);
  wchar_t copy[MAX_PATH] = {};
  if (!GetTempFileNameW(temp, L"zlv", 0, copy)) FailInTemp(path, temp, GetLastError());

  // From here on, every way out closes `keep`, and with it deletes the copy.
  OwnedHandle keep(CreateFileW(copy, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!keep.Valid()) {
    const DWORD error = GetLastError();
    DeleteFileW(copy);
    FailInTemp(path, temp, error);
  }
  CopyImage(image, copy, path, temp);

  HANDLE self = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                       SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
    Fail(kArrange, path, GetLastError());
  OwnedHandle parent(self);

  std::wstring commandLine = Quoted(copy) + L" " + Widen(kRemovalSwitch) + L" " +
                             std::to_wstring(reinterpret_cast<std::uintptr_t>(self)) + L" " +
                             std::to_wstring(GetCurrentProcessId()) + L" " + Quoted(target);

  InheritOnly inherit(&self);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = inherit.List() ? sizeof(STARTUPINFOEXW) : sizeof(STARTUPINFOW);
  startup.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK;  // no busy cursor for a windowless helper
  startup.lpAttributeList = inherit.List();
  DWORD flags = DETACHED_PROCESS | (inherit.List() ? EXTENDED_STARTUPINFO_PRESENT : 0);

  // A job that ends its processes with the program's launcher must not take the helper along.
  BOOL inJob = FALSE;
  const bool breakAway = IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) && inJob;
  PROCESS_INFORMATION started{};
  BOOL ok = FALSE;
  if (breakAway)
    ok = CreateProcessW(copy, commandLine.data(), nullptr, nullptr, TRUE, flags | CREATE_BREAKAWAY_FROM_JOB,
                        nullptr, temp, &startup.StartupInfo, &started);
  if (!ok && (!breakAway || GetLastError() == ERROR_ACCESS_DENIED))
    ok = CreateProcessW(copy, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, temp,
                        &startup.StartupInfo, &started);
  if (!ok) Fail(kArrange, path, GetLastError());
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  parent.Close();
  keep.Close();
}

// A whole decimal number that fits, or false.
bool ParseNumber(const std::string& text, std::uint64_t limit, std::uint64_t& value) {
  value = 0;
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (limit - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

// The handle of a helper's line, when it is what RemoveProgramAfterExit passes: an inherited
// handle to the process with that id, other than this one. Otherwise null.
HANDLE TrustedParent(const RemovalRequest& request) {
  std::uint64_t handleValue = 0, id = 0;
  if (!ParseNumber(request.handle, UINTPTR_MAX, handleValue) || !ParseNumber(request.processId, MAXDWORD, id) ||
      handleValue == 0 || id == 0 || id == GetCurrentProcessId() || request.path.empty())
    return nullptr;
  const HANDLE parent = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handleValue));
  DWORD flags = 0;
  if (!GetHandleInformation(parent, &flags) || !(flags & HANDLE_FLAG_INHERIT) || GetProcessId(parent) != id)
    return nullptr;
  return parent;
}

// Not an error code of the system's: the delete was accepted, yet the file stays.
constexpr DWORD kStillThere = 0xFFFFFFFF;

// True once no file is found at `path`.
bool Gone(const wchar_t* path) {
  if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Told by the helper itself, since the program that asked for the removal has ended.
void ShowRemovalFailure(const wchar_t* path, DWORD error) {
  const std::string reason =
      error == kStillThere ? "Windows accepted its removal, but the file is still there." : SystemMessage(error);
  const std::wstring text = L"Zelvane could not remove itself after it ended, and was left where it is.\n\n" +
                            Widen(PlainPath(Narrow(path))) + L"\n" + Widen(reason) +
                            L"\n\nYou can delete it yourself.";
  MessageBoxW(nullptr, text.c_str(), Widen(kCaption).c_str(), MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

void RemoveOnceParentEnds(HANDLE parent, const wchar_t* path, std::chrono::milliseconds patience) {
  const DWORD waited = WaitForSingleObject(parent, kParentWaitMs);
  CloseHandle(parent);
  if (waited != WAIT_OBJECT_0) return ShowRemovalFailure(path, WAIT_TIMEOUT);

  // The image may stay locked for a moment after its process has ended, and another program
  // (a virus scanner) may hold it for a while. A delete that is accepted is not the end either: the
  // file goes only once nobody holds it, and a read-only medium or an immutable file may keep it.
  DWORD error = ERROR_SUCCESS;
  const auto attempts = std::max<std::chrono::milliseconds::rep>(1, patience.count() / kDeletePauseMs);
  for (std::chrono::milliseconds::rep attempt = 0; attempt < attempts; ++attempt) {
    if (Gone(path)) return;
    if (error == kStillThere) {  // accepted: only waited for now
      Sleep(kDeletePauseMs);
      continue;
    }
    if (DeleteFileW(path)) {
      error = kStillThere;
    } else {
      error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;  // gone already
      if (error == ERROR_ACCESS_DENIED) {
        const DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
          SetFileAttributesW(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
      } else if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
        break;  // beyond what waiting can mend
      }
    }
    Sleep(kDeletePauseMs);
  }
  if (!Gone(path)) ShowRemovalFailure(path, error);
}

}  // namespace

void RemoveImageAfterExit(const std::wstring& systemPath, const std::string& path) {
  // Opening the image for deletion asks for exactly what the helper will need: the right to
  // delete it (on the file, or to delete from its folder), a medium that can be written, and no
  // other program holding it without sharing deletion. Windows lets a running image be opened so.
  OwnedHandle probe(CreateFileW(systemPath.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe.Valid()) Fail("remove the program", path, GetLastError());
  probe.Close();
  StartRemovalHelper(systemPath, path);
}

bool RunAsRemovalHelper(const RemovalRequest& request, std::chrono::milliseconds patience) {
  const HANDLE parent = TrustedParent(request);
  if (parent == nullptr) return false;
  RemoveOnceParentEnds(parent, Widen(request.path).c_str(), patience);
  return true;
}

}  // namespace zelvane
