// The POSIX side of the test files: every name is taken as it stands.

#include "testing/files.h"

namespace zelvane::testing {

std::filesystem::path Literal(const std::filesystem::path& path) { return path; }

void Hide(const std::filesystem::path&, Hidden) {}

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
