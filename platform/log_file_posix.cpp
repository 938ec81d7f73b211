// The POSIX backend's log: appended to whole whoever else appends, and what a failed write left
// taken back.

#include <fcntl.h>

#include <cstring>

#include "platform/log_takeback.h"
#include "platform/system_posix.h"

namespace zelvane {
namespace {

// A log, appended to through one descriptor opened with O_APPEND, so that every write lands whole
// at the end of the file whoever else appends; opened for reading too where that is allowed, to
// see how it ends and what a failed write left there.
class PosixAppendFile : public AppendFile {
 public:
  explicit PosixAppendFile(const std::string& path) : path_(path) {
    const auto open = [&](int access) {
      const int flags = access | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
      int fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
      created_ = fd >= 0;
      if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), flags);
      return fd;
    };
    fd_.Reset(open(O_RDWR));
    if (!fd_.Valid() && errno == EACCES) {
      readable_ = false;
      fd_.Reset(open(O_WRONLY));
    }
    const char* action = "open the file for appending";
    if (!fd_.Valid() && errno == ELOOP) throw PlatformError(action, path_, "is a link: name the file itself", Cause::Link);
    if (!fd_.Valid()) Fail(action, path_, errno);
    struct stat st {};
    std::string refused;
    if (::fstat(fd_.Get(), &st) != 0) Fail(action, path_, errno);
    if (!S_ISREG(st.st_mode)) refused = "is no file on a disk";
    if (st.st_nlink > 1) refused = "has more than one name (a hard link): name a file of its own";
    if (!refused.empty()) {
      RemoveIfCreated();
      throw PlatformError(action, path_, refused, Cause::Link);
    }
    ::fcntl(fd_.Get(), F_SETFL, ::fcntl(fd_.Get(), F_GETFL) & ~O_NONBLOCK);
  }

  bool LockAbandoned() const override { return false; }  // O_APPEND alone: no lock to wait for

  void RemoveIfCreated() noexcept override {
    const std::optional<std::uint64_t> size = Size();
    if (created_ && size && *size == 0) ::unlink(path_.c_str());
    created_ = false;
  }

  void Append(std::string_view text, bool flush) override {
    const std::optional<std::uint64_t> before = Size();
    if (WriteAll(fd_.Get(), text) && (!flush || ::fdatasync(fd_.Get()) == 0 || errno == EINVAL)) return;
    const int error = errno;
    std::string reason = std::strerror(error);
    const std::optional<std::uint64_t> now = Size();
    if (before && now && *now == *before) throw PlatformError("write to the file", path_, reason);
    const auto read = [this](std::uint64_t offset, std::size_t size) -> std::optional<std::string> {
      std::string tail(size, '\0');
      if (!readable_ || ::pread(fd_.Get(), tail.data(), size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size))
        return std::nullopt;
      return tail;
    };
    if (!IsOnlyOurs(before, now, text, read)) {
      whole_ = false;
    } else if (::ftruncate(fd_.Get(), static_cast<off_t>(*before)) != 0) {
      whole_ = false;
      reason += std::string(". Taking back what reached the log failed too: ") + std::strerror(errno);
    }
    throw PlatformError("write to the file", path_, reason);
  }

  bool EndsWhole() const override { return whole_; }

  bool EndsWithLineBreak() override {
    const std::optional<std::uint64_t> size = Size();
    char last = '\n';
    if (size && *size > 0 && readable_ && ::pread(fd_.Get(), &last, 1, static_cast<off_t>(*size - 1)) != 1) last = '\n';
    return last == '\n';
  }

  FileIdentity Identity() override {
    struct stat st {};
    if (::fstat(fd_.Get(), &st) != 0) Fail("tell which file the log is", path_, errno);
    return *IdentityOfStat(st, FinalPathOf(fd_.Get()));
  }

 private:
  std::optional<std::uint64_t> Size() const {
    struct stat st {};
    if (::fstat(fd_.Get(), &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
  }

  std::string path_;
  OwnedFd fd_;
  bool readable_ = true;
  bool whole_ = true;
  bool created_ = false;  // by this open
};

}  // namespace

std::unique_ptr<AppendFile> OpenLogFile(const std::string& path) { return std::make_unique<PosixAppendFile>(path); }

}  // namespace zelvane
