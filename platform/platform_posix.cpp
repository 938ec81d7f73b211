// The POSIX backend: the same operations over open/read/pwrite, for tests and tools on Linux.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/crash_policy.h"
#include "platform/file_identity.h"
#include "platform/listing_posix.h"
#include "platform/platform.h"
#include "platform/removal.h"
#include "platform/system_posix.h"

namespace zelvane {

[[noreturn]] void Fail(const std::string& action, const std::string& path, int error) {
  throw PlatformError(action, path, std::strerror(error), error == EBUSY || error == ETXTBSY ? Cause::InUse : Cause::Other);
}

static_assert(sizeof(off_t) == 8, "profiles past 2 GiB need 64-bit file offsets");

namespace {

// What the symbolic link `link` holds, of any length; empty when it cannot be read (errno says why).
std::string LinkTarget(const std::string& link) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < target.size()) return target.substr(0, static_cast<std::size_t>(n));
    target.resize(target.size() * 2);
  }
}

}  // namespace

std::string FinalPathOf(int fd) { return LinkTarget("/proc/self/fd/" + std::to_string(fd)); }

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::optional<FileIdentity> IdentityOfStat(const struct stat& st, std::string finalPath) {
  FileIdentity identity;
  identity.folder = S_ISDIR(st.st_mode);
  identity.volume = static_cast<std::uint64_t>(st.st_dev);
  identity.links = static_cast<std::uint32_t>(st.st_nlink);
  identity.id = FileNumberOf(static_cast<std::uint64_t>(st.st_ino));
  identity.finalPath = std::move(finalPath);
  return identity;
}

namespace {

std::string RealPath(const std::string& path) {
  std::string out;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    out = real;
    std::free(real);
  }
  return out;
}

// A profile open through one descriptor: whatever replaces its name meanwhile, the reads and
// writes all reach the same file. It is opened by its name in `folder` (the folder it was listed
// in, held open as first resolved, so that no link put in its path since is followed; -1: by its
// full path), and only a file of its own is kept open: an ordinary file, no link, with one name.
class PosixProfileFile : public ProfileFile {
 public:
  PosixProfileFile(const std::string& path, int folder, OpenFor purpose) : path_(path), writable_(purpose == OpenFor::Writing) {
    const char* action = writable_ ? "open the file for writing" : "open the file";
    // O_NONBLOCK: a pipe opens at once, to be refused, rather than wait for a writer; an ordinary
    // file reads and writes as without it.
    const int flags = (writable_ ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const std::string name = folder < 0 ? path : path.substr(path.rfind('/') + 1);
    int fd;
    do fd = ::openat(folder < 0 ? AT_FDCWD : folder, name.c_str(), flags);
    while (fd < 0 && errno == EINTR);
    fd_.Reset(fd);
    if (!fd_.Valid() && errno == ENOENT) throw NotThere();
    if (!fd_.Valid() && errno == ELOOP) throw PlatformError(action, path_, "it is a link, not a file of its own", Cause::Link);
    if (!fd_.Valid()) Fail(action, path_, errno);
    struct stat st {};
    if (::fstat(fd_.Get(), &st) != 0) Fail("read the file", path_, errno);
    if (S_ISDIR(st.st_mode)) Fail(action, path_, EISDIR);
    if (!S_ISREG(st.st_mode)) throw PlatformError(action, path_, "it is no file on a disk (a pipe or a device)", Cause::Link);
    if (st.st_nlink > 1) throw PlatformError(action, path_, "it has another name too (a hard link)", Cause::Link);
    size_ = static_cast<std::uint64_t>(st.st_size);
  }

  // No such name in the folder: told apart, since the folder held may be one removed since.
  struct NotThere {};

  std::uint64_t Size() const override { return size_; }

  std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pread(fd_.Get(), into + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("read the file", path_, errno);
      const std::size_t wanted = size - done;
      done += static_cast<std::size_t>(n);
      if (static_cast<std::size_t>(n) < wanted) break;  // a file gives fewer bytes only at its end
    }
    return done;
  }

  void WriteAt(std::uint64_t offset, std::string_view bytes) override {
    if (!writable_) Fail("open the file for writing", path_, EBADF);
    while (!bytes.empty()) {
      written_ = true;  // a call that fails may have changed the file all the same
      const ssize_t n = ::pwrite(fd_.Get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("write to the file", path_, errno);
      bytes.remove_prefix(static_cast<std::size_t>(n));
      offset += static_cast<std::uint64_t>(n);
    }
  }

  bool Written() const override { return written_; }

  void Truncate(std::uint64_t size) override {
    if (::ftruncate(fd_.Get(), static_cast<off_t>(size)) != 0) Fail("restore the length of the file", path_, errno);
  }

  void Close() override {
    if (!fd_.Close()) Fail("close the file", path_, errno);
  }

 private:
  std::string path_;
  bool writable_;
  OwnedFd fd_;
  std::uint64_t size_ = 0;
  bool written_ = false;
};

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return IdentityOfStat(st, RealPath(path));
}

class PosixPlatform : public Platform {
 public:
  char Separator() const override { return '/'; }

  std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor purpose) override {
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    for (bool again = false;; again = true) {
      try {
        return std::make_unique<PosixProfileFile>(path, Folder(folder, again), purpose);
      } catch (const PosixProfileFile::NotThere&) {
        if (again) Fail(purpose == OpenFor::Writing ? "open the file for writing" : "open the file", path, ENOENT);
      }
    }
  }

  std::unique_ptr<FileListing> ListFiles(const std::string& folder,
                                         std::string_view extension) override {
    return ListFolder(folder, extension);
  }

  std::string ProgramFile() override { return ExecutablePath(); }

  FolderCopies CopiesOf(const std::string&) override { return {}; }  // no file virtualisation here

  std::string ProgramFolder() override {
    const std::string exe = ExecutablePath();
    const std::size_t slash = exe.rfind('/');
    return slash == 0 ? "/" : exe.substr(0, slash);
  }

  std::string FullPath(const std::string& path) override {
    if (!path.empty() && path[0] == '/') return path;
    std::vector<char> folder(PATH_MAX);
    while (::getcwd(folder.data(), folder.size()) == nullptr) {
      if (errno != ERANGE) Fail("find the current folder", path, errno);
      folder.resize(folder.size() * 2);
    }
    return std::string(folder.data()) + "/" + path;
  }

  bool IsFolder(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  std::optional<FileIdentity> IdentityOf(const std::string& path) override { return zelvane::IdentityOf(path); }

  std::unique_ptr<AppendFile> OpenForAppending(const std::string& path) override {
    return OpenLogFile(path);
  }

  // At once: this backend serves the tests and tools, whose standard output is read.
  void WriteToStandardOutput(std::string_view text) override {
    if (!::isatty(STDOUT_FILENO)) WriteAll(STDOUT_FILENO, text);
  }
  bool FinishStandardOutput(std::chrono::milliseconds) override { return true; }

  std::string LocalTimestamp() override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
  }

  // A running program's file may be unlinked at once here.
  void RemoveProgramAfterExit() override {
    const std::string exe = ExecutablePath();
    if (::unlink(exe.c_str()) != 0) Fail("remove the program", exe, errno);
  }

 private:
  // `folder` (ending in a separator), held open as the system resolved it the first time it was
  // asked, or `again` (a file not found there: the folder may have been made anew since, as tests
  // do); -1 when it cannot be opened.
  int Folder(const std::string& folder, bool again) {
    auto known = std::find_if(folders_.begin(), folders_.end(), [&](const auto& f) { return f.first == folder; });
    if (known == folders_.end()) known = folders_.insert(folders_.end(), {folder, std::make_unique<OwnedFd>()});
    if (again || !known->second->Valid()) known->second->Reset(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return known->second->Get();
  }

  static std::string ExecutablePath() {
    std::string path = LinkTarget("/proc/self/exe");
    if (path.empty()) Fail("find the program's own path", "/proc/self/exe", errno);
    return path;
  }

  std::vector<std::pair<std::string, std::unique_ptr<OwnedFd>>> folders_;  // of the profiles, as first resolved
};

}  // namespace

std::unique_ptr<FileListing> ListFolder(const std::string& folder, std::string_view extension,
                                        ReadDirCall readDir) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) {
    if (errno != ENOENT && errno != ENOTDIR) Fail("list the folder", folder, errno);
    return std::make_unique<NameListing>(std::move(names));
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readDir(dir.get());
    if (!entry && errno != 0) Fail("list the folder", folder, errno);
    if (!entry) break;
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || !EndsWithNoCase(name, extension)) continue;
    // Every name that is no folder, as Windows lists them: the open tells a file of its own from a
    // link or a pipe. Most file systems say so in the entry: no stat per file.
    if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) {
      if (entry->d_type != DT_DIR) names.push_back(name);
      continue;
    }
    struct stat st {};
    if (::stat((folder + name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());  // runs repeat in the same order
  return std::make_unique<NameListing>(std::move(names));
}

bool RunAsRemovalHelper(const RemovalRequest&, std::chrono::milliseconds) { return false; }

// Nothing here shows a box.
void ShowNoFailureBoxes() {}

Platform& SystemPlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace zelvane
