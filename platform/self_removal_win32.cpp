// Removal of the program's own executable, its running image whatever its name, once the
// program has ended.
//
// Windows refuses to delete the file of a running program (ERROR_ACCESS_DENIED), so another
// process has to do it after the program has gone. That process is a copy of the program itself,
// started in a special mode. Everything is done through the handle to the running image that the
// program took when it started (sharing reading and deletion), never through its name: a file
// renamed meanwhile is still the one removed, and whatever was put at its old name is neither
// removed nor started.
//
//  0. The image is opened again through that handle (ReOpenFile) for deletion: when that is
//     refused (no right to delete it, a read-only medium, another program holding it), the user
//     is told at once and nothing else happens.
//  1. The image is copied, through the held handle, to a fresh file in the temporary folder
//     (GetTempFileNameW, prefix "zlv").
//  2. Before anything is written to it, the copy is opened with FILE_FLAG_DELETE_ON_CLOSE and
//     access DELETE only, sharing reading, writing and deletion. The copy is written through a
//     second, ordinary handle that is closed before the copy is started: CreateProcess opens the
//     image for execution sharing only reading and deletion, so no writer may remain.
//  3. The copy is started (DETACHED_PROCESS, outside the program's job when the job allows it,
//     in the temporary folder so that it holds nothing in the program's folder) with
//         "<copy>" /zelvane-remove-after <process> <process id> <image> "<path>"
//     where <process> is an inheritable SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION handle to
//     the program's process, <image> the handle of step 0 and <path> where the image is, for
//     messages. Only those two handles are inherited (PROC_THREAD_ATTRIBUTE_HANDLE_LIST). The
//     program lets the helper take the foreground, for the box it may have to show.
//  4. The program closes its handles, the delete-on-close one last, and ends.
//  5. In the copy, the program reads that line as it reads any command line, and
//     RunAsRemovalHelper checks that the handles are inherited ones, to the process whose id it
//     was given and to a file on a disk, waits for that process to end (at most five minutes),
//     marks the image deleted through its handle (FileDispositionInfo; retried for up to ten
//     seconds while the file is still locked, a read-only attribute taken off through the handle),
//     closes it, waits until no file with the image's identity is left at <path> and ends. When
//     the removal fails it says so in a message box of its own, naming the file and the reason:
//     the program that asked has ended by then.
//
// When the copy's name goes: at step 4, when the program closes `keep`. The delete-on-close request
// was made in step 2, before any image section of the copy existed, which is when the file system
// checks that the file may be deleted; `keep` is then the last handle to the file (CreateProcess
// closes its own once it has made the image section, and a section holds no handle), so closing
// it deletes the name while the copy runs on, as any open file stays valid after its name is
// deleted. Under Wine, which unlinks a file only when its last user is gone, the copy's running
// image included, the name goes when the copy ends instead. Either way nothing is left, whatever
// happens to the copy, and nothing needs administrator rights, unlike
// MoveFileEx(MOVEFILE_DELAY_UNTIL_REBOOT), or a console, unlike a batch file.
//
// The helper only ever removes the file whose handle it inherited, only after the process named
// there has ended, and does nothing at all with a line it cannot trust: the program then takes
// the switch for one it does not know.

#include "platform/self_removal_win32.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/caption.h"
#include "platform/file_identity.h"
#include "platform/owned_handle_win32.h"
#include "platform/platform.h"
#include "platform/removal.h"
#include "platform/system_win32.h"
#include "platform/windows_path.h"

namespace zelvane {
namespace {

constexpr DWORD kParentWaitMs = 5 * 60 * 1000;
constexpr DWORD kDeletePauseMs = 100;

constexpr char kArrange[] = "arrange the removal of the program";

// A failure in the temporary folder, which the reason then names.
[[noreturn]] void FailInTemp(std::string_view path, std::wstring_view temp, DWORD error) {
  throw PlatformError(kArrange, std::string(path), SystemMessage(error) + " (temporary folder \"" + Narrow(temp) + "\")");
}

// One value of the helper's line. A file path holds no quotation mark, and the program reads
// quotes as grouping only.
std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

void CopyImage(HANDLE image, const std::wstring& to, const std::string& path, const std::wstring& temp) {
  OwnedHandle target(CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target.Valid()) FailInTemp(path, temp, GetLastError());
  std::vector<char> buffer(1 << 16);
  for (std::uint64_t offset = 0;;) {
    OVERLAPPED at = OverlappedAt(offset);  // read from the start, wherever the held handle stands
    DWORD got = 0;
    if (!ReadFile(image, buffer.data(), static_cast<DWORD>(buffer.size()), &got, &at)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      Fail(kArrange, path, error);
    }
    if (got == 0) break;
    offset += got;
    DWORD put = 0;
    if (!WriteFile(target.Get(), buffer.data(), got, &put, nullptr)) FailInTemp(path, temp, GetLastError());
    if (put != got) FailInTemp(path, temp, ERROR_WRITE_FAULT);
  }
  if (!target.Close()) FailInTemp(path, temp, GetLastError());
}

// The attribute list that lets a new process inherit `handles` and nothing else.
class InheritOnly {
 public:
  InheritOnly(HANDLE* handles, std::size_t count, const std::string& path) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) Fail(kArrange, path, GetLastError());
    list_ = list;
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE),
                                   nullptr, nullptr))
      Fail(kArrange, path, GetLastError());
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

// A number in decimal, as the helper's line carries it (std::to_wstring would bring in printf).
std::wstring Decimal(std::uintptr_t value) {
  std::wstring digits;
  do digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + value % 10));
  while ((value /= 10) > 0);
  return digits;
}
std::wstring Decimal(HANDLE handle) { return Decimal(reinterpret_cast<std::uintptr_t>(handle)); }

// `doomed` is the image open for deletion, inheritable; `path` where it is now.
void StartRemovalHelper(HANDLE image, HANDLE doomed, const std::string& path) {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) {  // the copy's name must fit MAX_PATH: say which folder is at fault
    const DWORD error = n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
    std::wstring named;
    for (const wchar_t* variable : {L"TMP", L"TEMP"}) {
      named.assign(32767, L'\0');
      named.resize(std::min<DWORD>(GetEnvironmentVariableW(variable, named.data(), 32767), 32767));
      if (!named.empty()) break;
    }
    FailInTemp(path, named, error);
  }
  wchar_t copy[MAX_PATH] = {};
  if (!GetTempFileNameW(temp, L"zlv", 0, copy)) FailInTemp(path, temp, GetLastError());

  // From here on, every way out closes `keep`, and with it deletes the copy.
  OwnedHandle keep(CreateFileW(copy, DELETE, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!keep.Valid()) {
    const DWORD error = GetLastError();
    DeleteFileW(copy);
    FailInTemp(path, temp, error);
  }
  CopyImage(image, copy, path, temp);

  OwnedHandle parent;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), parent.Receive(),
                       SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
    Fail(kArrange, path, GetLastError());

  std::wstring commandLine = Quoted(copy) + L" " + Widen(kRemovalSwitch) + L" " + Decimal(parent.Get()) + L" " +
                             Decimal(std::uintptr_t{GetCurrentProcessId()}) + L" " + Decimal(doomed) + L" " +
                             Quoted(Widen(path));

  HANDLE inherited[] = {parent.Get(), doomed};
  InheritOnly inherit(inherited, std::size(inherited), path);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(STARTUPINFOEXW);
  startup.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK;  // no busy cursor for a windowless helper
  startup.lpAttributeList = inherit.List();
  const DWORD flags = DETACHED_PROCESS | EXTENDED_STARTUPINFO_PRESENT;

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
  const OwnedHandle thread(started.hThread), process(started.hProcess);
  AllowSetForegroundWindow(started.dwProcessId);  // its box, should the removal fail, comes to the front
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

// The inherited handle `text` names, when it is one (and, with `disk`, to a file on a disk);
// otherwise null.
HANDLE Inherited(const std::string& text, bool disk) {
  std::uint64_t value = 0;
  if (!ParseNumber(text, UINTPTR_MAX, value) || value == 0) return nullptr;
  const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value));
  DWORD flags = 0;
  if (!GetHandleInformation(handle, &flags) || !(flags & HANDLE_FLAG_INHERIT)) return nullptr;
  if (disk && GetFileType(handle) != FILE_TYPE_DISK) return nullptr;
  return handle;
}

// Not an error code of the system's: the delete was accepted, yet the file stays.
constexpr DWORD kStillThere = 0xFFFFFFFF;

// True once no file of `identity` is at `path`: none is, or another one is now.
bool Gone(const std::wstring& path, const std::optional<FileIdentity>& identity) {
  const std::wstring systemPath = SystemPath(Narrow(path));
  if (GetFileAttributesW(systemPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
  }
  const std::optional<FileIdentity> there = IdentityOfPath(systemPath);  // none while its deletion is pending
  return there && identity && !IsSameIdentity(there, identity);
}

// Not an error code of the system's: the file at the image's path is another one now.
constexpr DWORD kReplaced = 0xFFFFFFFE;
constexpr char kReplacedReason[] =
    "The file at this name is no longer the program that ran: it was moved or replaced meanwhile, and is left as it is.";

// True when the path the system gives for the file of `identity` leads to that file itself.
// Deleting through a handle must not go on otherwise: a system that deletes by the name a handle
// was opened with (Wine does) would remove whatever has been put at that name since.
bool StillAtItsPath(const std::optional<FileIdentity>& identity) {
  return identity && !identity->finalPath.empty() &&
         IsSameIdentity(IdentityOfPath(Widen(identity->finalPath)), identity);
}

// Told by the helper itself, since the program that asked for the removal has ended.
void ShowRemovalFailure(const std::wstring& path, DWORD error) {
  const std::string reason = error == kStillThere ? "Windows accepted its removal, but the file is still there."
                             : error == kReplaced ? kReplacedReason
                                                  : SystemMessage(error);
  const std::wstring text = L"Zelvane could not remove itself after it ended, and was left where it is.\n\n" + path +
                            L"\n" + Widen(reason) + L"\n\nYou can delete it yourself.";
  MessageBoxW(nullptr, text.c_str(), Widen(kCaption).c_str(), MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

// Marks `image` deleted; ERROR_SUCCESS, or why not. A read-only attribute is taken off first.
DWORD MarkDeleted(HANDLE image) {
  FILE_DISPOSITION_INFO dispose{TRUE};
  if (SetFileInformationByHandle(image, FileDispositionInfo, &dispose, sizeof dispose)) return ERROR_SUCCESS;
  const DWORD error = GetLastError();
  FILE_BASIC_INFO basic{};
  if (error == ERROR_ACCESS_DENIED && GetFileInformationByHandleEx(image, FileBasicInfo, &basic, sizeof basic) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
    basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (SetFileInformationByHandle(image, FileBasicInfo, &basic, sizeof basic) &&
        SetFileInformationByHandle(image, FileDispositionInfo, &dispose, sizeof dispose))
      return ERROR_SUCCESS;
  }
  return error;
}

void RemoveOnceParentEnds(OwnedHandle& parent, OwnedHandle& image, const std::wstring& path,
                          std::chrono::milliseconds patience) {
  const DWORD waited = WaitForSingleObject(parent.Get(), kParentWaitMs);
  parent.Close();
  if (waited != WAIT_OBJECT_0) return ShowRemovalFailure(path, WAIT_TIMEOUT);

  // The image may stay locked for a moment after its process has ended, and another program
  // (a virus scanner) may hold it for a while. A delete that is accepted is not the end either: the
  // file goes only once nobody holds it, and a read-only medium or an immutable file may keep it.
  const std::optional<FileIdentity> identity = IdentityOfHandle(image.Get());
  if (!StillAtItsPath(identity)) return ShowRemovalFailure(path, kReplaced);
  const auto attempts = std::max<std::chrono::milliseconds::rep>(1, patience.count() / kDeletePauseMs);
  std::chrono::milliseconds::rep attempt = 0;
  DWORD error = ERROR_SUCCESS;
  for (; attempt < attempts; ++attempt) {
    error = MarkDeleted(image.Get());
    if (error == ERROR_SUCCESS || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
                                   error != ERROR_LOCK_VIOLATION))
      break;  // done, or beyond what waiting can mend
    Sleep(kDeletePauseMs);
  }
  image.Close();  // the file goes once nobody holds it
  if (error != ERROR_SUCCESS) return ShowRemovalFailure(path, error);
  for (; attempt < attempts; ++attempt) {
    if (Gone(path, identity)) return;
    Sleep(kDeletePauseMs);
  }
  if (!Gone(path, identity)) ShowRemovalFailure(path, kStillThere);
}

}  // namespace

void RemoveImageAfterExit(HANDLE image) {
  const std::optional<FileIdentity> held = IdentityOfHandle(image);
  const std::string path = PlainPath(held && !held->finalPath.empty() ? held->finalPath : Narrow(ModulePath()));
  if (!StillAtItsPath(held)) throw PlatformError("remove the program", path, kReplacedReason);
  // Opening the image for deletion asks for exactly what the helper will need: the right to
  // delete it (on the file, or to delete from its folder), a medium that can be written, and no
  // other program holding it without sharing deletion. Windows lets a running image be opened so.
  OwnedHandle doomed(ReOpenFile(image, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, kShareAll, 0));
  if (!doomed.Valid() && GetLastError() == ERROR_ACCESS_DENIED)  // the right to delete, not to change attributes
    doomed.Reset(ReOpenFile(image, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, 0));
  if (!doomed.Valid()) Fail("remove the program", path, GetLastError());
  if (!SetHandleInformation(doomed.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
    Fail(kArrange, path, GetLastError());
  StartRemovalHelper(image, doomed.Get(), path);
}

bool RunAsRemovalHelper(const RemovalRequest& request, std::chrono::milliseconds patience) {
  std::uint64_t id = 0;
  const HANDLE parent = Inherited(request.handle, false);
  const HANDLE image = Inherited(request.image, true);
  if (parent == nullptr || image == nullptr || parent == image || !ParseNumber(request.processId, MAXDWORD, id) ||
      id == 0 || id == GetCurrentProcessId() || GetProcessId(parent) != id || request.path.empty())
    return false;
  OwnedHandle ownParent(parent), ownImage(image);
  RemoveOnceParentEnds(ownParent, ownImage, Widen(request.path), patience);
  return true;
}

}  // namespace zelvane
