// The POSIX side of the test files: every name is taken as it stands.

#include "testing/files.h"

namespace zelvane::testing {

std::filesystem::path Literal(const std::filesystem::path& path) { return path; }

void RemoveTree(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace zelvane::testing
