#pragma once
// Small helpers shared by the benchmark programs: a temporary folder, whole-file creation,
// timing, and medians. POSIX only (the benchmarks run in the native build).

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelvane::bench {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at the end.
class TempFolder {
 public:
  explicit TempFolder(const char* prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + ".XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder from " + pattern);
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Creates (or truncates) `path` holding `bytes`.
inline void WriteNewFile(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("cannot write " + path);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::close(fd) != 0) throw std::runtime_error("cannot close " + path);
}

inline void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

template <class Work>
double SecondsOf(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Timings {
  std::vector<double> seconds;
  double Median() const {
    std::vector<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n == 0 ? 0 : n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
  double Min() const { return seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end()); }
};

inline double Mebibytes(double bytes) { return bytes / (1024.0 * 1024.0); }

// Never lets the optimiser drop a result.
template <class T>
void Keep(const T& value) {
  asm volatile("" : : "r"(&value) : "memory");
}

}  // namespace zelvane::bench
