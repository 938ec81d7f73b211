#pragma once
// What the POSIX backend's files share: its descriptors, its failures, and where an open file lies.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace zelvane {

// Throws PlatformError for `action` on `path`, with the reason `error` (an errno) gives.
[[noreturn]] void Fail(const std::string& action, const std::string& path, int error);

// One owning type for every descriptor: closed on every way out.
class OwnedFd {
 public:
  explicit OwnedFd(int fd = -1) : fd_(fd) {}
  ~OwnedFd() { Close(); }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;

  bool Valid() const { return fd_ >= 0; }
  int Get() const { return fd_; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  // False when closing failed (errno tells why); the descriptor is given up either way.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0 || errno == EINTR;
  }

 private:
  int fd_;
};

// Where the file open through `fd` lies, as the system resolved its path: one question, however
// deep the path.
std::string FinalPathOf(int fd);

// False when not all of `text` could be written; errno then tells why.
bool WriteAll(int fd, std::string_view text);

std::optional<FileIdentity> IdentityOfStat(const struct stat& st, std::string finalPath);

// Opens the log at `path` as Platform::OpenForAppending does.
std::unique_ptr<AppendFile> OpenLogFile(const std::string& path);

}  // namespace zelvane
