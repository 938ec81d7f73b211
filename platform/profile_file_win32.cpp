// One profile of the Windows backend: opened through one handle, and worked on only when the handle
// shows a file of its own.

#include <windows.h>

#include <algorithm>
#include <memory>

#include "platform/owned_handle_win32.h"
#include "platform/system_win32.h"

namespace zelvane {
namespace {

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

}  // namespace

std::unique_ptr<ProfileFile> OpenProfileFile(const std::string& path, const std::string& expected, OpenFor purpose) {
  return std::make_unique<Win32ProfileFile>(path, expected, purpose);
}

}  // namespace zelvane
