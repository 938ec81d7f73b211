// The Windows backend: wide-character Win32 calls throughout, so any file name works.

#include <windows.h>
#include <winternl.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/crash_policy.h"
#include "platform/owned_handle_win32.h"
#include "platform/platform.h"
#include "platform/self_removal_win32.h"
#include "platform/system_win32.h"
#include "platform/text.h"
#include "platform/windows_path.h"

namespace zelvane {

std::wstring Widen(std::string_view utf8) { return Utf16FromUtf8<wchar_t>(utf8); }

std::string Narrow(std::wstring_view utf16) { return Utf8FromUtf16(utf16); }

std::string SystemMessage(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text ? text : L"", n);
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  if (message.empty()) return "system error " + std::to_string(error);
  // Inserts ("%1", "%2!s!") stand for names the message is not given here.
  for (std::size_t at; (at = message.find(L'%')) != std::wstring::npos;) {
    std::size_t end = at + 1;
    while (end < message.size() && message[end] >= L'0' && message[end] <= L'9') ++end;
    if (end == at + 1) {
      message.erase(at, 1);  // "%%", "%n" and the like: the character itself
      continue;
    }
    if (end < message.size() && message[end] == L'!') {
      const std::size_t close = message.find(L'!', end + 1);
      end = close == std::wstring::npos ? message.size() : close + 1;
    }
    message.replace(at, end - at, L"the file");
  }
  return Narrow(message);
}

void Fail(std::string_view action, std::string_view path, DWORD error) {
  const bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  throw PlatformError(std::string(action), std::string(path), SystemMessage(error), inUse ? Cause::InUse : Cause::Other);
}

OVERLAPPED OverlappedAt(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

namespace {

using WriteCall = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

// ERROR_SUCCESS, or why not all of `text` could be written, each piece where the handle writes it.
DWORD WriteAll(HANDLE file, std::string_view text, WriteCall write = WriteFile) {
  while (!text.empty()) {
    DWORD n = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 24));
    if (!write(file, text.data(), want, &n, nullptr)) return GetLastError();
    if (n == 0) return ERROR_WRITE_FAULT;
    text.remove_prefix(n);
  }
  return ERROR_SUCCESS;
}

// FILE_ID_INFO, which the headers give only to programs that need Windows 8: on Windows 7 the
// call fails, and the file is then told by the volume's serial number and the file's index.
struct FileIdInfo {
  ULONGLONG volumeSerialNumber;
  BYTE fileId[16];
};
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

// The volume and the number on it of the file open through `file`, whose `info` is given.
void NumberOf(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info, std::uint64_t& volume,
              std::array<std::uint8_t, 16>& id) {
  FileIdInfo full{};
  if (GetFileInformationByHandleEx(file, kFileIdInfo, &full, sizeof full)) {
    volume = full.volumeSerialNumber;
    std::copy(std::begin(full.fileId), std::end(full.fileId), id.begin());
    return;
  }
  volume = info.dwVolumeSerialNumber;
  id = FileNumberOf(std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow);
}

// A profile open through one handle, shared with readers only: no other program writes to it or
// replaces it while it is held. Only a file of its own is kept open: one on a disk, with one name,
// that lies at `expected` (its folder as resolved, and its name), reached through no link.
class Win32ProfileFile : public ProfileFile {
 public:
  Win32ProfileFile(const std::string& path, const std::string& expected, OpenFor purpose)
      : path_(path), writable_(purpose == OpenFor::Writing) {
    const char* action = writable_ ? "open the file for writing" : "open the file";
    const DWORD access = writable_ ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    handle_.Reset(CreateFileW(SystemPath(path).c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | kNoLinkFollowed, nullptr));
    // A folder does not open so (it needs FILE_FLAG_BACKUP_SEMANTICS): Access is denied.
    if (!handle_.Valid()) Fail(action, path_, GetLastError());
    const FileFacts facts = FactsOf(handle_.Get(), "read the file", path_);
    if (const std::string why = NotItsOwnFile(handle_.Get(), facts, expected); !why.empty())
      throw PlatformError(action, path_, why, Cause::Link);
    size_ = facts.size;
  }

  std::uint64_t Size() const override { return size_; }

  std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      OVERLAPPED at = OverlappedAt(offset + done);
      DWORD n = 0;
      const auto want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 24));
      if (!ReadFile(handle_.Get(), into + done, want, &n, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) break;
        Fail("read the file", path_, error);
      }
      done += n;
      if (n < want) break;  // a file on disk gives fewer bytes only at its end
    }
    return done;
  }

  void WriteAt(std::uint64_t offset, std::string_view bytes) override {
    if (!writable_) Fail("open the file for writing", path_, ERROR_ACCESS_DENIED);
    while (!bytes.empty()) {
      OVERLAPPED at = OverlappedAt(offset);
      DWORD n = 0;
      const auto want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 24));
      written_ = true;  // a call that fails may have changed the file all the same
      if (!WriteFile(handle_.Get(), bytes.data(), want, &n, &at)) Fail("write to the file", path_, GetLastError());
      if (n == 0) Fail("write to the file", path_, ERROR_WRITE_FAULT);
      bytes.remove_prefix(n);
      offset += n;
    }
  }

  bool Written() const override { return written_; }

  void Truncate(std::uint64_t size) override {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(handle_.Get(), FileEndOfFileInfo, &end, sizeof end))
      Fail("restore the length of the file", path_, GetLastError());
  }

  void Close() override {
    if (!handle_.Close()) Fail("close the file", path_, GetLastError());
  }

 private:
  std::string path_;
  bool writable_;
  OwnedHandle handle_;
  std::uint64_t size_ = 0;
  bool written_ = false;
};

// Up to `size` bytes of `file` from `offset`; nothing when they cannot be read.
std::optional<std::string> ReadFrom(HANDLE file, std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  OVERLAPPED at = OverlappedAt(offset);
  DWORD n = 0;
  if (!ReadFile(file, bytes.data(), static_cast<DWORD>(size), &n, &at) && GetLastError() != ERROR_HANDLE_EOF)
    return std::nullopt;
  bytes.resize(n);
  return bytes;
}

std::optional<std::uint64_t> SizeOf(HANDLE file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

// Held by a run of Zelvane while it appends to a log and, should that fail, takes it back: a lock
// of one byte far beyond any end a log can have, so that it never stands in the way of reading or
// writing the log itself. Windows appends an append-only handle's writes whole anyway; the lock
// makes another run wait until a failed write has been taken back, and serves where appending is
// done by a seek and a write (Wine). Waited for at most kWaitMs by the clock, then done without:
// once a run that hangs has held it that long, `abandoned` says so and it is not waited for again.
class AppendLock {
 public:
  AppendLock(HANDLE file, ULONGLONG(WINAPI* tick)(), bool& abandoned) : file_(file) {
    if (abandoned) return;
    const ULONGLONG deadline = tick() + kWaitMs;
    for (;;) {
      OVERLAPPED at = OverlappedAt(kRegion);
      locked_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
      if (locked_ || GetLastError() != ERROR_LOCK_VIOLATION) return;  // no locks here: write without
      if (tick() >= deadline) {
        abandoned = true;
        return;
      }
      Sleep(kPauseMs);
    }
  }
  ~AppendLock() {
    OVERLAPPED at = OverlappedAt(kRegion);
    if (locked_) UnlockFileEx(file_, 0, 1, 0, &at);
  }
  AppendLock(const AppendLock&) = delete;
  AppendLock& operator=(const AppendLock&) = delete;

 private:
  static constexpr DWORD kWaitMs = 10000, kPauseMs = 1;
  static constexpr std::uint64_t kRegion = kLogLockAt;
  HANDLE file_;
  bool locked_ = false;
};

// A log, held open for the whole run and shared with readers, other writers and a rotation that
// renames or deletes it. It is opened for appending only (FILE_APPEND_DATA without
// FILE_WRITE_DATA): the system then writes each text whole at the end of the file as it is at that
// moment, so that lines of two runs appending to one log never overwrite or cut each other. Read
// access too, where it is granted: to see how the log ends, and what a failed write left there.
// Only the file its own name names is kept: see Platform::OpenForAppending.
class Win32AppendFile : public AppendFile {
 public:
  Win32AppendFile(const std::string& path, bool privileged, LogCalls calls) : path_(path), calls_(calls) {
    const std::wstring systemPath = SystemPath(path);
    // An existing file is opened; a missing one is made anew, never through a link that leads to
    // nothing (which Windows opens itself, and Wine would follow).
    const auto open = [&](DWORD access) {
      const auto attempt = [&](DWORD disposition) {
        return calls_.create(systemPath.c_str(), access | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                           nullptr, disposition, FILE_ATTRIBUTE_NORMAL | kNoLinkFollowed, nullptr);
      };
      HANDLE file = attempt(OPEN_EXISTING);
      if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        file = attempt(CREATE_NEW);
        created_ = file != INVALID_HANDLE_VALUE;
        if (!created_ && GetLastError() == ERROR_FILE_EXISTS && (file = attempt(OPEN_EXISTING)) == INVALID_HANDLE_VALUE &&
            GetLastError() == ERROR_FILE_NOT_FOUND)
          throw PlatformError("open the file for appending", path_, "is a link that leads nowhere: name the file itself",
                              Cause::Link);
      }
      return file;
    };
    handle_.Reset(open(FILE_READ_DATA));
    if (!handle_.Valid() && GetLastError() == ERROR_ACCESS_DENIED) {
      readable_ = false;
      handle_.Reset(open(0));
    }
    const char* action = "open the file for appending";
    if (!handle_.Valid()) Fail(action, path_, GetLastError());
    const FileFacts facts = FactsOf(handle_.Get(), action, path_);
    std::string refused;
    if (facts.type != FILE_TYPE_DISK)
      refused = "is no file on a disk";
    else if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
      refused = "is a link: name the file itself";
    else if (facts.links > 1)
      refused = "has more than one name (a hard link): name a file of its own";
    else if (const std::string lies = FinalPathOf(handle_.Get()); privileged && !IsSameName(lies, LongPath(path)))
      refused = "leads to \"" + lies + "\" through a link: name the file itself";
    if (!refused.empty()) {
      RemoveIfCreated();
      throw PlatformError(action, path_, refused, Cause::Link);
    }
  }

  void Append(std::string_view text, bool flush) override {
    const AppendLock lock(handle_.Get(), calls_.tick, lockAbandoned_);
    const std::optional<std::uint64_t> before = SizeOf(handle_.Get());
    DWORD error = WriteAll(handle_.Get(), text, calls_.write);
    if (error == ERROR_SUCCESS && flush && !calls_.flush(handle_.Get())) error = GetLastError();
    if (error == ERROR_SUCCESS) return;
    std::string reason = SystemMessage(error);
    TakeBack(before, text, reason);
    throw PlatformError("write to the file", path_, reason);
  }

  bool EndsWhole() const override { return whole_; }

  bool EndsWithLineBreak() override {
    const std::optional<std::uint64_t> size = SizeOf(handle_.Get());
    if (!size || *size == 0 || !readable_) return true;
    const std::optional<std::string> last = ReadFrom(handle_.Get(), *size - 1, 1);
    return !last || last->empty() || last->back() == '\n';
  }

  FileIdentity Identity() override {
    std::optional<FileIdentity> identity = IdentityOfHandle(handle_.Get());
    if (!identity) Fail("tell which file the log is", path_, GetLastError());
    return *identity;
  }

  bool LockAbandoned() const override { return lockAbandoned_; }

  void RemoveIfCreated() noexcept override {
    if (!created_ || SizeOf(handle_.Get()) != std::optional<std::uint64_t>(0)) return;
    created_ = false;
    const OwnedHandle remove(ReOpenFile(handle_.Get(), DELETE, kShareAll, 0));
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (remove.Valid()) SetFileInformationByHandle(remove.Get(), FileDispositionInfo, &disposition, sizeof disposition);
  }

 private:
  // The full path `path` with the long form of each name, where the system can give it.
  static std::string LongPath(const std::string& path) {
    const std::wstring full = SystemPath(path);
    const std::wstring longer =
        SystemText([&full](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    return PlainPath(Narrow(longer.empty() ? full : longer));
  }

  // After a failed append: what reached the file is cut away while the file ends with it alone.
  // Otherwise (another writer appended after it, or nobody can tell) it is left where it is.
  void TakeBack(std::optional<std::uint64_t> before, std::string_view text, std::string& reason) {
    const std::optional<std::uint64_t> now = SizeOf(handle_.Get());
    if (before && now && *now == *before) return;  // nothing reached it
    const auto read = [this](std::uint64_t offset, std::size_t size) {
      return readable_ ? ReadFrom(handle_.Get(), offset, size) : std::nullopt;
    };
    if (!IsOnlyOurs(before, now, text, read)) {
      whole_ = false;
      return;
    }
    const OwnedHandle cut(ReOpenFile(handle_.Get(), FILE_WRITE_DATA | SYNCHRONIZE, kShareAll, 0));
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(*before);
    if (cut.Valid() && calls_.setInformation(cut.Get(), FileEndOfFileInfo, &end, sizeof end)) return;
    const DWORD error = GetLastError();
    whole_ = false;
    reason += " Taking back what reached the log failed too: " + SystemMessage(error);
  }

  std::string path_;
  LogCalls calls_;
  OwnedHandle handle_;
  bool readable_ = true;
  bool whole_ = true;
  bool created_ = false;  // by this open
  bool lockAbandoned_ = false;
};

// The unhandled fault of any thread ends the process with the fault's code, before the system's
// own handling could show a box, ask Windows Error Reporting or start a debugger.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS* fault) {
  TerminateProcess(GetCurrentProcess(), fault->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

[[noreturn]] void EndOnInternalFailure() {
  TerminateProcess(GetCurrentProcess(), kInternalFailureCode);
  std::_Exit(3);  // not reached
}

class Win32Listing : public FileListing {
 public:
  Win32Listing(const std::string& folder, std::string_view extension, FindNextCall findNext)
      : extension_(extension), findNext_(findNext) {
    // Every name is matched here rather than by a "*.qdx" pattern, which Windows also tests
    // against 8.3 short names ("notes.qdxold" has the short name "NOTES~1.QDX").
    find_ = FindFirstFileExW((SystemPath(folder) + L"*").c_str(), FindExInfoBasic, &data_,
                             FindExSearchNameMatch, nullptr, 0);
    if (find_ == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) Fail("list the folder", folder, error);
    }
    pending_ = find_ != INVALID_HANDLE_VALUE;
    folder_ = folder;
  }
  ~Win32Listing() override {
    if (find_ != INVALID_HANDLE_VALUE) FindClose(find_);
  }
  Win32Listing(const Win32Listing&) = delete;
  Win32Listing& operator=(const Win32Listing&) = delete;

  std::string Next() override {
    while (pending_) {
      std::string name = Narrow(data_.cFileName);
      const bool ordinary = !(data_.dwFileAttributes &
                              (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
      pending_ = findNext_(find_, &data_) != 0;
      if (!pending_) {
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES) Fail("list the folder", folder_, error);
      }
      if (ordinary && EndsWithNoCase(name, extension_)) return name;
    }
    return {};
  }

 private:
  std::string extension_, folder_;
  FindNextCall findNext_;
  WIN32_FIND_DATAW data_{};
  HANDLE find_ = INVALID_HANDLE_VALUE;
  bool pending_ = false;
};

// `path` as the system resolves it, links and junctions followed; as given when it cannot tell.
std::string ResolvedPath(const std::string& path) {
  const std::optional<FileIdentity> identity = IdentityOfPath(SystemPath(path));
  return identity && !identity->finalPath.empty() ? PlainPath(identity->finalPath) : path;
}

// The places Windows virtualises for a program it runs so (the Program Files folders, ProgramData,
// the Windows folder), as the system names them.
std::vector<std::string> VirtualisedPlaces() {
  // FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86, FOLDERID_ProgramData and FOLDERID_Windows,
  // written out: libuuid, which holds them, would bring every other id along.
  static constexpr KNOWNFOLDERID kPlaces[] = {
      {0x905e63b6, 0xc1bf, 0x494e, {0xb2, 0x9c, 0x65, 0xb7, 0x32, 0xd3, 0xd2, 0x1a}},
      {0x7c5a40ef, 0xa0fb, 0x4bfc, {0x87, 0x4a, 0xc0, 0xf2, 0xe0, 0xb9, 0xfa, 0x8e}},
      {0x62ab5d82, 0xfdc1, 0x4dc3, {0xa9, 0xdd, 0x07, 0x0d, 0x1d, 0x49, 0x5d, 0x97}},
      {0xf38bf404, 0x1d43, 0x42f2, {0x93, 0x05, 0x67, 0xde, 0x0b, 0x28, 0xfc, 0x23}}};
  std::vector<std::string> places;
  for (const KNOWNFOLDERID& id : kPlaces) {
    PWSTR path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path))) places.push_back(Narrow(path));
    CoTaskMemFree(path);
  }
  // The 64-bit Program Files, which a 32-bit program is shown as the other one.
  HKEY version = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &version) == ERROR_SUCCESS) {
    wchar_t native[MAX_PATH] = {};
    DWORD size = sizeof native;
    if (RegGetValueW(version, nullptr, L"ProgramW6432Dir", RRF_RT_REG_SZ, nullptr, native, &size) == ERROR_SUCCESS)
      places.push_back(Narrow(native));
    RegCloseKey(version);
  }
  return places;
}

// A string value of `key\subkey` as it is stored (an expandable one unexpanded), of any length;
// nothing when there is none, with why in `error`.
std::optional<std::wstring> StoredText(HKEY key, const wchar_t* subkey, const wchar_t* name, LSTATUS& error) {
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    error = RegGetValueW(key, subkey, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, text.data(), &bytes);
    if (error == ERROR_MORE_DATA) {
      text.resize(bytes / sizeof(wchar_t) + 1);
      continue;
    }
    if (error != ERROR_SUCCESS) return std::nullopt;
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
  }
}

// Why `path` (a folder) cannot be looked at, or nothing; `missing` tells of one that is not there.
std::string Unreachable(const std::string& path, bool& missing) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  missing = false;
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? "" : SystemMessage(ERROR_DIRECTORY);
  const DWORD error = GetLastError();
  missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  return SystemMessage(error);
}

// Every person's copy of the folder whose part after its drive is `part`, as the system's list of
// user profiles gives them, and each whose copies could not be looked at; a run that may not read
// other users' files looks at this user's alone. A profile folder listed twice (a key Windows kept
// as ".bak" beside the user's new one) is one user.
std::vector<UserCopy> UsersCopies(const std::string& part, const RunRights& rights, ResolvedFolders& folders) {
  std::vector<UserCopy> copies;
  HKEY list = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                    KEY_READ | KEY_WOW64_64KEY, &list) != ERROR_SUCCESS)
    return copies;
  std::vector<std::wstring> seen;  // the profile folders looked at, letter case aside
  for (DWORD i = 0;; ++i) {
    wchar_t key[256];
    DWORD length = 256;
    const LSTATUS listed = RegEnumKeyExW(list, i, key, &length, nullptr, nullptr, nullptr, nullptr);
    if (listed == ERROR_NO_MORE_ITEMS) break;
    if (listed != ERROR_SUCCESS) continue;
    const std::string sid(SidOfProfileKey(Narrow(key)));
    if (!IsPersonsAccount(sid) || (!rights.mayReadOthers && sid != rights.userSid)) continue;
    LSTATUS error = ERROR_SUCCESS;
    const std::optional<std::wstring> stored = StoredText(list, key, L"ProfileImagePath", error);
    if (!stored) {
      if (error != ERROR_FILE_NOT_FOUND)  // a key without a folder has no copies
        copies.push_back({sid, "", "its profile folder could not be read from the system's list of profiles: " + SystemMessage(static_cast<DWORD>(error))});
      continue;
    }
    const std::wstring expanded = SystemText([&stored](wchar_t* buffer, DWORD capacity) {
      const DWORD n = ExpandEnvironmentStringsW(stored->c_str(), buffer, capacity);
      return n == 0 ? 0 : n - 1 < capacity ? n - 1 : n;  // the count includes the final zero
    });
    std::wstring folded = expanded;
    while (!folded.empty() && (folded.back() == L'\\' || folded.back() == L'/')) folded.pop_back();
    CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    if (expanded.empty() || std::find(seen.begin(), seen.end(), folded) != seen.end()) continue;
    seen.push_back(folded);
    const std::string profile = Narrow(expanded);
    UserCopy copy;
    copy.user = UserNameOf(profile, sid);
    copy.folder = profile + (profile.back() == '\\' ? "" : "\\") + "AppData\\Local\\VirtualStore" + part;
    bool missing = false;
    if (const std::string why = Unreachable(profile, missing); !why.empty()) {
      copy.absent = missing;
      copy.unreachable = missing ? "its profile folder " + profile +
                                       " is not on this machine (a roaming profile, or a profile container that is not mounted)"
                                 : "its profile folder " + profile + " could not be opened: " + why;
      copies.push_back(copy);
    } else if (const std::string copyWhy = Unreachable(copy.folder, missing); !copyWhy.empty() && !missing) {
      copy.unreachable = "its copies in " + copy.folder + " could not be opened: " + copyWhy;
      copies.push_back(copy);
    } else if (copyWhy.empty()) {
      // Below the profile folder, as the system resolves it, no link is followed.
      const std::string home = folders.Of(profile + "\\");
      const std::string expected = home.substr(0, home.size() - 1) + "\\AppData\\Local\\VirtualStore" + part;
      if (home.empty() || !IsSameName(folders.Of(copy.folder), expected)) {
        copy.link = true;
        copy.unreachable = "its copies in " + copy.folder + " lead to " + ResolvedPath(copy.folder) + " through a link";
      }
      copies.push_back(copy);
    }
  }
  RegCloseKey(list);
  return copies;
}

// Standard output sent to a file or a pipe, written by a thread of its own: a launcher that
// reads the pipe only once the program has ended (or never) cannot stop the run, whose log and exit
// code follow the profiles alone. What waits to be written is held up to kMost bytes; beyond that,
// and whatever is left when the program ends, is given up. The state outlives the program's static
// objects (it is never freed), since the thread may still be held in a write when the process ends.
// A lock and condition variables of the system's own, which a thread started by CreateThread uses.
class StandardOutput {
 public:
  static StandardOutput& Of(HANDLE out) {
    static StandardOutput* const writer = new StandardOutput(out);
    return *writer;
  }

  void Write(std::string_view text) {
    const Locked hold(lock_);
    if (abandoned_ || pending_.size() + text.size() > kMost) {
      givenUp_ = true;
      return;
    }
    pending_.append(text);
    WakeConditionVariable(&wake_);
  }

  // Once a reader has not taken what it was given in time, it is not waited for again.
  bool Finish(std::chrono::milliseconds bound) {
    const Locked hold(lock_);
    if (abandoned_) return false;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(bound.count());
    for (ULONGLONG now = GetTickCount64(); !pending_.empty() || writing_; now = GetTickCount64()) {
      if (now >= deadline) {
        givenUp_ = abandoned_ = true;
        break;
      }
      SleepConditionVariableSRW(&drained_, &lock_, static_cast<DWORD>(deadline - now), 0);
    }
    const bool whole = !givenUp_;
    givenUp_ = false;
    return whole;
  }

 private:
  static constexpr std::size_t kMost = 1 << 20;

  struct Locked {
    explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ReleaseSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    SRWLOCK& lock_;
  };

  explicit StandardOutput(HANDLE out) : out_(out) {
    if (const HANDLE thread = CreateThread(nullptr, 0, Loop, this, 0, nullptr))
      CloseHandle(thread);
    else
      abandoned_ = true;  // no writer: standard output is given up, the log holds the report
  }

  static DWORD WINAPI Loop(void* self) {
    static_cast<StandardOutput*>(self)->Drain();
    return 0;
  }
  [[noreturn]] void Drain() {
    AcquireSRWLockExclusive(&lock_);
    for (;;) {
      while (pending_.empty()) SleepConditionVariableSRW(&wake_, &lock_, INFINITE, 0);
      std::string text;
      text.swap(pending_);
      writing_ = true;
      ReleaseSRWLockExclusive(&lock_);
      const bool written = WriteAll(out_, text) == ERROR_SUCCESS;
      AcquireSRWLockExclusive(&lock_);
      writing_ = false;
      givenUp_ = givenUp_ || !written;
      WakeAllConditionVariable(&drained_);
    }
  }

  HANDLE out_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE wake_ = CONDITION_VARIABLE_INIT, drained_ = CONDITION_VARIABLE_INIT;
  std::string pending_;
  bool writing_ = false, givenUp_ = false, abandoned_ = false;
};

class Win32Platform : public Platform {
 public:
  // The running image is held from the start, sharing reading and deletion, so that its removal
  // later acts on this file, whatever has been renamed or put at its name meanwhile.
  Win32Platform() {
    try {
      image_.Reset(CreateFileW(SystemPath(Narrow(ModulePath())).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
      if (!image_.Valid()) imageError_ = GetLastError();
    } catch (const PlatformError&) {
      imageError_ = ERROR_FILE_NOT_FOUND;
    }
  }

  char Separator() const override { return '\\'; }

  std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor purpose) override {
    const std::size_t name = path.find_last_of('\\') + 1;
    const std::string& folder = folders_.Of(path.substr(0, name));
    return std::make_unique<Win32ProfileFile>(path, folder.empty() ? folder : folder + path.substr(name), purpose);
  }

  std::unique_ptr<FileListing> ListFiles(const std::string& folder,
                                         std::string_view extension) override {
    return ListFolder(folder, extension);
  }

  FolderCopies CopiesOf(const std::string& folder) override {
    return CopiesFor(folder, RightsOfThisRun(), VirtualisedPlaces(), folders_);
  }

  std::string ProgramFolder() override {
    std::string path = ProgramFile();
    path.resize(path.rfind('\\'));
    if (path.size() == 2 && path[1] == ':') path += '\\';  // a drive root keeps its separator
    return path;
  }

  std::string ProgramFile() override { return PlainPath(Narrow(ModulePath())); }

  std::string FullPath(const std::string& path) override {
    const std::wstring full = FullPathName(Widen(path));
    if (full.empty()) Fail("find the full path", path, GetLastError());
    return Narrow(full);
  }

  bool IsFolder(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  std::optional<FileIdentity> IdentityOf(const std::string& path) override { return IdentityOfPath(SystemPath(path)); }

  std::unique_ptr<AppendFile> OpenForAppending(const std::string& path) override {
    return OpenLogFile(path, RightsOfThisRun().mayReadOthers);
  }

  void WriteToStandardOutput(std::string_view text) override {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || GetFileType(out) == FILE_TYPE_UNKNOWN) return;
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {  // a console shows UTF-16, not the bytes of UTF-8, and is never full
      const std::wstring wide = Widen(text);
      DWORD n = 0;
      WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &n, nullptr);
      return;
    }
    StandardOutput::Of(out).Write(text);
    writtenOut_ = true;
  }

  bool FinishStandardOutput(std::chrono::milliseconds bound) override {
    return !writtenOut_ || StandardOutput::Of(nullptr).Finish(bound);
  }

  std::string LocalTimestamp() override {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::string text = "0000-00-00 00:00:00";  // each number written into its zeros, from its last digit
    const auto put = [&text](std::size_t end, unsigned value) {
      for (std::size_t at = end; value > 0 && at-- > 0 && text[at] != '-' && text[at] != ' ' && text[at] != ':'; value /= 10)
        text[at] = static_cast<char>('0' + value % 10);
    };
    put(4, now.wYear), put(7, now.wMonth), put(10, now.wDay), put(13, now.wHour), put(16, now.wMinute), put(19, now.wSecond);
    return text;
  }

  void RemoveProgramAfterExit() override {
    if (!image_.Valid()) Fail("remove the program", ProgramFile(), imageError_);
    RemoveImageAfterExit(image_.Get());
  }

 private:
  OwnedHandle image_;
  DWORD imageError_ = ERROR_SUCCESS;  // why the image could not be held
  ResolvedFolders folders_;           // of the profiles
  bool writtenOut_ = false;           // standard output went to the writer of its own
};

}  // namespace

std::wstring FullPathName(const std::wstring& path) {
  return SystemText(
      [&path](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
}

std::wstring SystemPath(const std::string& path) {
  return Widen(ExtendedLengthPath(IsFullPath(path) ? path : Narrow(FullPathName(Widen(path)))));
}

std::wstring ShortPathName(const std::wstring& path) {
  return SystemText([&path](wchar_t* buffer, DWORD size) { return GetShortPathNameW(path.c_str(), buffer, size); });
}

std::wstring ModulePath() {
  std::wstring path = SystemText([](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
  if (path.empty()) Fail("find the program's own path", "", GetLastError());
  return path;
}

std::optional<FileIdentity> IdentityOfHandle(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  FileIdentity identity;
  identity.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  identity.links = info.nNumberOfLinks;
  NumberOf(file, info, identity.volume, identity.id);
  identity.finalPath = Narrow(SystemText([file](wchar_t* buffer, DWORD size) {  // empty when it fails
    return GetFinalPathNameByHandleW(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }));
  return identity;
}

std::string FinalPathOf(HANDLE file) {
  return PlainPath(Narrow(SystemText([file](wchar_t* buffer, DWORD size) {  // empty when it fails
    return GetFinalPathNameByHandleW(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  })));
}

bool IsSameName(std::string_view a, std::string_view b) {
  const std::wstring x = Widen(PlainPath(a)), y = Widen(PlainPath(b));
  return CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(), static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

std::string ObjectPathOf(HANDLE file) {
  // OBJECT_NAME_INFORMATION: a UNICODE_STRING, then its characters; grown to any length.
  std::vector<ULONG> name(128);
  ULONG needed = 0;
  constexpr auto kObjectNameInformation = static_cast<OBJECT_INFORMATION_CLASS>(1);
  for (;;) {
    const auto size = static_cast<ULONG>(name.size() * sizeof(ULONG));
    const NTSTATUS status = NtQueryObject(file, kObjectNameInformation, name.data(), size, &needed);
    if (status >= 0) break;
    if (needed <= size) return {};
    name.resize(needed / sizeof(ULONG) + 1);
  }
  const auto* text = reinterpret_cast<const UNICODE_STRING*>(name.data());
  return Narrow(std::wstring_view(text->Buffer, text->Length / sizeof(wchar_t)));
}

FileFacts FactsOf(HANDLE file, std::string_view action, std::string_view path) {
  FileFacts facts;
  facts.type = GetFileType(file);
  if (facts.type != FILE_TYPE_DISK) return facts;  // a pipe's server need not answer more
  FILE_STANDARD_INFO standard{};
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
      !GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag))
    Fail(action, path, GetLastError());
  facts.attributes = tag.FileAttributes;
  facts.links = standard.NumberOfLinks;
  facts.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
  return facts;
}

std::string NotItsOwnFile(HANDLE file, const FileFacts& facts, const std::string& expected) {
  if (facts.type != FILE_TYPE_DISK) return "it is no file on a disk (a pipe or a device)";
  if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return "it is a link, not a file of its own";
  if (facts.links > 1) return "it has another name too (a hard link)";
  if (const std::string lies = ObjectPathOf(file); lies.empty() || expected.empty() || !IsSameName(lies, expected)) {
    const std::string final = FinalPathOf(file);
    return "it is a link to " + (final.empty() ? lies : final);
  }
  return {};
}

const std::string& ResolvedFolders::Of(const std::string& folder) {
  for (const auto& [known, place] : known_)
    if (known == folder) return place;
  const OwnedHandle opened(CreateFileW(SystemPath(folder).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::string place = opened.Valid() ? ObjectPathOf(opened.Get()) : std::string();
  if (!place.empty() && !place.ends_with('\\')) place += '\\';
  return known_.emplace_back(folder, place).second;
}

void EnableRedirectionGuard() {
  // PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY with EnforceRedirectionTrust, looked up since
  // Windows 7 has no SetProcessMitigationPolicy; refused before Windows 10 22H2, which is no fault.
  using SetPolicyCall = BOOL(WINAPI*)(int, PVOID, SIZE_T);
  constexpr int kProcessRedirectionTrustPolicy = 16;
  DWORD enforce = 1;
  if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
    if (const auto setPolicy = reinterpret_cast<SetPolicyCall>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessMitigationPolicy"))))
      setPolicy(kProcessRedirectionTrustPolicy, &enforce, sizeof enforce);
}

std::optional<FileIdentity> IdentityOfPath(const std::wstring& systemPath) {
  const OwnedHandle file(CreateFileW(systemPath.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return std::nullopt;
  return IdentityOfHandle(file.Get());
}

RunRights RightsOfThisRun() {
  RunRights rights;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return rights;
  const OwnedHandle held(token);
  DWORD enabled = 0, size = 0;
  rights.virtualised = GetTokenInformation(token, TokenVirtualizationEnabled, &enabled, sizeof enabled, &size) && enabled != 0;
  TOKEN_ELEVATION elevation{};  // an elevated administrator, one without User Account Control, and SYSTEM
  rights.mayReadOthers = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                         elevation.TokenIsElevated != 0;
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  wchar_t* sid = nullptr;
  if (GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid)) {
    rights.userSid = Narrow(sid);
    LocalFree(sid);
  }
  return rights;
}

FolderCopies CopiesFor(const std::string& folder, const RunRights& rights, std::vector<std::string> places,
                       ResolvedFolders& folders) {
  std::string resolved = ResolvedPath(folder);
  if (resolved.empty() || resolved.back() != '\\') resolved += '\\';
  for (std::string& place : places) place = ResolvedPath(place);
  const std::optional<std::string> part = VirtualisedPart(resolved, places);
  if (!part) return {};
  if (rights.virtualised) return {true, {}, false};
  return {false, UsersCopies(*part, rights, folders), !rights.mayReadOthers};
}

std::unique_ptr<AppendFile> OpenLogFile(const std::string& path, bool privileged, LogCalls calls) {
  return std::make_unique<Win32AppendFile>(path, privileged, calls);
}

std::unique_ptr<FileListing> ListFolder(const std::string& folder, std::string_view extension,
                                        FindNextCall findNext) {
  return std::make_unique<Win32Listing>(folder, extension, findNext);
}

Platform& SystemPlatform() {
  static Win32Platform platform;
  return platform;
}

void ShowNoFailureBoxes() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // Windows Error Reporting without its dialog: WerSetFlags(WER_FAULT_REPORTING_NO_UI), looked up
  // since not every system has it.
  using WerSetFlagsCall = HRESULT(WINAPI*)(DWORD);
  constexpr DWORD kWerFaultReportingNoUi = 0x20;
  if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
    if (const auto setFlags = reinterpret_cast<WerSetFlagsCall>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "WerSetFlags"))))
      setFlags(kWerFaultReportingNoUi);
  SetUnhandledExceptionFilter(EndOnFault);
  // The C runtime's abort() shows a "Runtime Error" box in a windowed program before it raises
  // SIGABRT: its message goes to the (absent) standard error instead, and the signal ends the
  // process.
  _set_error_mode(_OUT_TO_STDERR);
  std::signal(SIGABRT, [](int) { EndOnInternalFailure(); });
  std::set_terminate(EndOnInternalFailure);
}

}  // namespace zelvane
