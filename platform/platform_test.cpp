// The platform's file operations, listing and program location; run natively and under Wine.

#include "platform/platform.h"

#include <algorithm>

#include "testing/test_files.h"

namespace zelvane {
namespace {

using namespace zelvane::testing;

TEST(Platform, WriteAtOverwritesExtendsAndNeverShortens) {
  struct Case {
    const char* name;
    std::string before;
    std::uint64_t offset;
    std::string bytes;
    std::string after;
  };
  const Case cases[] = {
      {"inside", "abcdef", 2, "XY", "abXYef"},
      {"across the end", "abcdef", 4, "XYZ", "abcdXYZ"},
      {"at the end", "abc", 3, std::string(3, '\0'), std::string("abc\0\0\0", 6)},
      {"nothing", "abc", 1, "", "abc"},
      {"into an empty file", "", 0, "xyz", "xyz"},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    const std::string path = folder.File("f.bin");
    WriteBytes(FromUtf8(path), c.before);
    SystemPlatform().WriteAt(path, c.offset, c.bytes);
    EXPECT_EQ(ReadBytes(FromUtf8(path)), c.after) << c.name;
    EXPECT_EQ(SystemPlatform().ReadWholeFile(path), c.after) << c.name;
  }
}

TEST(Platform, ReadsLargeFilesWhole) {
  TempFolder folder;
  std::string big(5'000'011, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  WriteBytes(folder.Path() / "big.bin", big);
  EXPECT_EQ(SystemPlatform().ReadWholeFile(folder.File("big.bin")), big);
}

TEST(Platform, FailuresSayWhatWhereAndWhy) {
  TempFolder folder;
  std::filesystem::create_directories(folder.Path() / "sub");
  struct Case {
    const char* name;
    std::function<void()> call;
    std::string action, path;
  };
  const std::string missing = folder.File("missing.qdx");
  const std::string sub = folder.File("sub");
  const Case cases[] = {
      {"read a missing file", [&] { SystemPlatform().ReadWholeFile(missing); }, "open the file for reading", missing},
      {"write a missing file", [&] { SystemPlatform().WriteAt(missing, 0, "x"); }, "open the file for writing", missing},
      {"write a folder", [&] { SystemPlatform().WriteAt(sub, 0, "x"); }, "open the file for writing", sub},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.name << " succeeded";
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Action(), c.action) << c.name;
      EXPECT_EQ(e.Path(), c.path) << c.name;
      EXPECT_FALSE(e.Reason().empty()) << c.name;
      EXPECT_EQ(std::string(e.what()), c.path + "\nCould not " + c.action + ". " + e.Reason()) << c.name;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(FromUtf8(missing)));  // a write never creates a file
}

std::vector<std::string> ListAll(const std::string& folder) {
  std::vector<std::string> names;
  const auto listing = SystemPlatform().ListFiles(folder, ".qdx");
  for (std::string name = listing->Next(); !name.empty(); name = listing->Next()) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Platform, ListsOrdinaryFilesByTheirLongNameOnly) {
  TempFolder folder;
  const std::vector<std::string> listed = {"a.qdx", "B.QDX", "long name with spaces.qDx",
                                           "\xD0\xBF\xD1\x80\xD0\xBE\xD1\x84\xD0\xB8\xD0\xBB\xD1\x8C.qdx"};
  const char* unlisted[] = {"notes.qdxold", "x.qdx.bak", ".dot.qdx", "readme.txt", "qdx", "y.qdx~"};
  for (const std::string& name : listed) WriteBytes(folder.Path() / FromUtf8(name), "x");
  for (const char* name : unlisted) WriteBytes(folder.Path() / name, "x");
  std::filesystem::create_directories(folder.Path() / "folder.qdx");
  std::vector<std::string> expected = listed;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListAll(Utf8(folder.Path()) + SystemPlatform().Separator()), expected);
}

TEST(Platform, AMissingFolderListsNothing) {
  TempFolder folder;
  const char s = SystemPlatform().Separator();
  EXPECT_TRUE(ListAll(Utf8(folder.Path()) + s + "no" + s + "such" + s).empty());
  EXPECT_TRUE(ListAll(Utf8(folder.Path()) + s).empty());
}

TEST(Platform, RewritingListedFilesDoesNotDisturbTheListing) {
  TempFolder folder;
  for (int i = 0; i < 50; ++i) WriteBytes(folder.Path() / ("p" + std::to_string(i) + ".qdx"), "abc");
  const auto listing = SystemPlatform().ListFiles(Utf8(folder.Path()) + SystemPlatform().Separator(), ".qdx");
  std::vector<std::string> seen;
  for (std::string name = listing->Next(); !name.empty(); name = listing->Next()) {
    SystemPlatform().WriteAt(folder.File(name), 3, std::string(3, '\0'));
    seen.push_back(name);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_EQ(seen.size(), 50u);
}

TEST(Platform, KnowsTheProgramsFolderAndName) {
  Platform& platform = SystemPlatform();
  EXPECT_EQ(platform.ProgramName(), "platform_test");
  const std::string folder = platform.ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), platform.Separator());
  const std::string exe = folder + platform.Separator() + platform.ProgramName() + (platform.Separator() == '\\' ? ".exe" : "");
  EXPECT_TRUE(std::filesystem::is_regular_file(FromUtf8(exe))) << exe;
}

TEST(Platform, ExtensionsCompareWithoutLetterCase) {
  const struct {
    const char* name;
    bool match;
  } cases[] = {{"a.qdx", true}, {"A.QDX", true}, {".qdx", true}, {"a.qdxx", false}, {"qdx", false}, {"a.qd", false}};
  for (const auto& c : cases) EXPECT_EQ(EndsWithNoCase(c.name, ".qdx"), c.match) << c.name;
}

}  // namespace
}  // namespace zelvane
