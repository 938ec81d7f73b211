// The POSIX backend: the same operations over open/read/pwrite, for tests and tools on Linux.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace zelvane {
namespace {

[[noreturn]] void Fail(const std::string& action, const std::string& path, int error) {
  throw PlatformError(action, path, std::strerror(error));
}

class Descriptor {  // closes on every path out; a failing close on the success path is reported
 public:
  Descriptor(const std::string& path, int flags, const char* action) : path_(path) {
    do fd_ = ::open(path.c_str(), flags | O_CLOEXEC);
    while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) Fail(action, path_, errno);
  }
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  void Close() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) Fail("close the file", path_, errno);
  }

 private:
  std::string path_;
  int fd_ = -1;
};

class PosixListing : public FileListing {
 public:
  explicit PosixListing(std::vector<std::string> names) : names_(std::move(names)) {}
  std::string Next() override { return next_ < names_.size() ? names_[next_++] : std::string(); }

 private:
  std::vector<std::string> names_;
  std::size_t next_ = 0;
};

class PosixPlatform : public Platform {
 public:
  char Separator() const override { return '/'; }

  std::string ReadWholeFile(const std::string& path) override {
    Descriptor file(path, O_RDONLY, "open the file for reading");
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) Fail("read the file", path, errno);
    std::string data;
    try {
      data.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::exception&) {
      throw PlatformError("read the file", path, "The file is too large to be read into memory.");
    }
    std::size_t done = 0;
    while (done < data.size()) {  // the size it had when opened; a file that shrank ends early
      const ssize_t n = ::read(file.Get(), data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("read the file", path, errno);
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    data.resize(done);
    file.Close();
    return data;
  }

  void WriteAt(const std::string& path, std::uint64_t offset, std::string_view bytes) override {
    Descriptor file(path, O_WRONLY, "open the file for writing");
    while (!bytes.empty()) {
      const ssize_t n = ::pwrite(file.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("write to the file", path, errno);
      bytes.remove_prefix(static_cast<std::size_t>(n));
      offset += static_cast<std::uint64_t>(n);
    }
    file.Close();
  }

  std::unique_ptr<FileListing> ListFiles(const std::string& folder,
                                         std::string_view extension) override {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.' || !EndsWithNoCase(name, extension)) continue;
        if (entry->d_type == DT_REG) {  // most file systems say so in the entry: no stat per file
          names.push_back(name);
          continue;
        }
        if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) continue;
        struct stat st {};
        if (::stat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
      }
      ::closedir(dir);
    }
    std::sort(names.begin(), names.end());  // runs repeat in the same order
    return std::make_unique<PosixListing>(std::move(names));
  }

  std::string ProgramFolder() override {
    const std::string exe = ExecutablePath();
    const std::size_t slash = exe.rfind('/');
    return slash == 0 ? "/" : exe.substr(0, slash);
  }

  std::string ProgramName() override {
    std::string name = ExecutablePath();
    name = name.substr(name.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  }

  // A running program's file may be unlinked at once here.
  void RemoveAfterExit(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) Fail("remove the file", path, errno);
  }

 private:
  static std::string ExecutablePath() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
      const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
      if (n < 0) Fail("find the program's own path", "/proc/self/exe", errno);
      if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
      buffer.resize(buffer.size() * 2);
    }
  }
};

}  // namespace

bool RunAsRemovalHelper() { return false; }

Platform& SystemPlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace zelvane
