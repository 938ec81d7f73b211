// The log of the Windows backend: appended to by runs that take turns, taken back when a write
// fails, and the file its own name names.

#include <windows.h>

#include <memory>
#include <optional>

#include "platform/log_takeback.h"
#include "platform/owned_handle_win32.h"
#include "platform/system_win32.h"
#include "platform/windows_path.h"

namespace zelvane {
namespace {

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

}  // namespace

std::unique_ptr<AppendFile> OpenLogFile(const std::string& path, bool privileged, LogCalls calls) {
  return std::make_unique<Win32AppendFile>(path, privileged, calls);
}

}  // namespace zelvane
