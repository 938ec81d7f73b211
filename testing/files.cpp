#include "testing/files.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace zelvane::testing {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

fs::path FromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(Literal(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("could not write " + Utf8(path));
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(Literal(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TempFolder::TempFolder(const fs::path& prefix) {
  static std::atomic<unsigned> count{0};
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path name = prefix;
    name += std::to_string(random()) + "-" + std::to_string(++count);
    path_ = fs::temp_directory_path() / name;
    if (fs::create_directory(path_)) return;  // false: the name is taken
  }
  throw std::runtime_error("no free folder name in " + Utf8(fs::temp_directory_path()));
}

TempFolder::~TempFolder() {
  if (!keep_) RemoveTree(path_);
}

}  // namespace zelvane::testing
