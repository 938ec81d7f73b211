#pragma once
// Test support: fresh temporary folders, raw file access, sample profiles, and a platform that
// records calls and can be told to fail.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>

#include "format/profile_layouts.h"
#include "format/record_writer.h"
#include "platform/platform.h"

namespace zelvane::testing {

inline std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}
inline std::filesystem::path FromUtf8(const std::string& s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("zelvane-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return Utf8(path_ / FromUtf8(name)); }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << Utf8(path);
}
inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A legacy profile whose fields 36 and 37 hold the given texts, and whose blocks carry arrays of
// several dimensions and negative lower bounds.
inline LegacyProfileRecord SampleLegacy(const std::string& text30, const std::string& text31) {
  LegacyProfileRecord r;
  r[LegacyProfileRecord::Text1] = "Invoice \xE9t\xE9";  // ANSI bytes, never interpreted
  r[LegacyProfileRecord::Byte2] = 0x80;
  r[LegacyProfileRecord::Text30] = text30;
  r[LegacyProfileRecord::Text31] = text31;
  Record& block = r[LegacyProfileRecord::BlockA];
  BlockItem item;
  item[BlockItem::Text1] = "column";
  item[BlockItem::Byte1] = 4;
  block[ProfileBlock::Items] = {{{{1, -3}}}, {item}};
  block[ProfileBlock::Bytes] = {{{{2, -1}, {3, 7}}}, {1, 2, 3, 4, 5, 6}};
  block[ProfileBlock::Texts] = {{{{2, 0}, {0, 5}}}, {}};
  r[LegacyProfileRecord::BlockB][ProfileBlock::Texts] = {{{{2, 1}}}, {"a", ""}};
  return r;
}
inline std::string Encode(const LegacyProfileRecord& r) { return EncodeRecord(r.layout, r); }

// Passes every call to the system's platform, counting them; `failOn` may throw instead.
class RecordingPlatform : public Platform {
 public:
  std::function<void(const std::string& call, const std::string& path)> failOn = [](auto&, auto&) {};
  std::string programFolder = "";
  int reads = 0, writes = 0, removals = 0;

  char Separator() const override { return SystemPlatform().Separator(); }
  std::string ReadWholeFile(const std::string& path) override {
    ++reads;
    failOn("read", path);
    return SystemPlatform().ReadWholeFile(path);
  }
  void WriteAt(const std::string& path, std::uint64_t offset, std::string_view bytes) override {
    ++writes;
    failOn("write", path);
    SystemPlatform().WriteAt(path, offset, bytes);
  }
  std::unique_ptr<FileListing> ListFiles(const std::string& folder, std::string_view extension) override {
    failOn("list", folder);
    return SystemPlatform().ListFiles(folder, extension);
  }
  std::string ProgramFolder() override {
    return programFolder.empty() ? SystemPlatform().ProgramFolder() : programFolder;
  }
  std::string ProgramName() override { return SystemPlatform().ProgramName(); }
  void RemoveAfterExit(const std::string& path) override {
    ++removals;
    failOn("remove", path);
    removed = path;
  }
  std::string removed;
};

}  // namespace zelvane::testing
