// The POSIX side of the test files: every name is taken as it stands.

#include "testing/files.h"

#include <sys/stat.h>

namespace zelvane::testing {

std::filesystem::path Literal(const std::filesystem::path& path) { return path; }

void Hide(const std::filesystem::path&, Hidden) {}

bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link, Link kind) {
  std::error_code failed;
  if (kind == Link::Pipe) return ::mkfifo(link.c_str(), 0644) == 0;
  if (kind == Link::Hard)
    std::filesystem::create_hard_link(target, link, failed);
  else
    std::filesystem::create_symlink(target, link, failed);
  return !failed;
}

void RemoveTree(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

std::optional<std::size_t> OpenDescriptors() {
  std::error_code error;
  std::filesystem::directory_iterator open("/proc/self/fd", error);
  if (error) return std::nullopt;
  return static_cast<std::size_t>(std::distance(open, {}));
}

}  // namespace zelvane::testing
