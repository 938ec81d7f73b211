// The platform's file operations, listing and program location; run natively and under Wine.

#include "platform/platform.h"

#include "platform/windows_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "testing/files.h"

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
    const auto file = SystemPlatform().OpenProfile(path, OpenFor::Upgrading);
    EXPECT_EQ(file->Size(), c.before.size()) << c.name;
    file->WriteAt(c.offset, c.bytes);
    std::string back(c.after.size() + 5, '?');
    back.resize(file->ReadAt(0, back.data(), back.size()));
    EXPECT_EQ(back, c.after) << c.name;
    file->Close();
    EXPECT_EQ(ReadBytes(FromUtf8(path)), c.after) << c.name;
  }
}

TEST(Platform, AppendsToAFileCreatingIt) {
  TempFolder folder;
  const std::string log = folder.File("run log \xC3\xA9.txt");
  SystemPlatform().AppendToFile(log, "first\r\n");
  SystemPlatform().AppendToFile(log, "second \xE2\x82\xAC\r\n");
  EXPECT_EQ(ReadBytes(FromUtf8(log)), "first\r\nsecond \xE2\x82\xAC\r\n");
  EXPECT_THROW(SystemPlatform().AppendToFile(folder.File("no such folder") + SystemPlatform().Separator() + "log.txt", "x"),
               PlatformError);
}

TEST(Platform, ReadsAnywhereAndTruncates) {
  TempFolder folder;
  std::string big(5'000'011, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  WriteBytes(folder.Path() / "big.bin", big);
  const auto file = SystemPlatform().OpenProfile(folder.File("big.bin"), OpenFor::Upgrading);
  std::string whole(big.size(), '\0'), part(10, '\0');
  EXPECT_EQ(file->ReadAt(0, whole.data(), whole.size()), big.size());
  EXPECT_EQ(whole, big);
  EXPECT_EQ(file->ReadAt(big.size() - 4, part.data(), part.size()), 4u);  // fewer only at the end
  EXPECT_EQ(part.substr(0, 4), big.substr(big.size() - 4));
  EXPECT_EQ(file->ReadAt(big.size() + 100, part.data(), part.size()), 0u);
  file->Truncate(1000);
  file->Close();
  EXPECT_EQ(ReadBytes(folder.Path() / "big.bin"), big.substr(0, 1000));
}

TEST(Platform, FailuresSayWhatWhereAndWhy) {
  TempFolder folder;
  std::filesystem::create_directories(folder.Path() / "sub");
  const std::string missing = folder.File("missing.qdx");
  const std::string sub = folder.File("sub");
  const std::string readOnly = folder.File("read-only.qdx");
  WriteBytes(FromUtf8(readOnly), "abc");
  std::filesystem::permissions(Literal(FromUtf8(readOnly)), std::filesystem::perms::owner_read);
  struct Case {
    const char* name;
    std::function<void()> call;
    std::string action, path;
  };
  std::vector<Case> cases = {
      {"open a missing file", [&] { SystemPlatform().OpenProfile(missing, OpenFor::Upgrading); }, "open the file", missing},
      {"read a missing file", [&] { SystemPlatform().OpenProfile(missing, OpenFor::Reading); }, "open the file for reading",
       missing},
      {"write a file opened for reading",
       [&] { SystemPlatform().OpenProfile(readOnly, OpenFor::Reading)->WriteAt(0, "x"); }, "open the file for writing",
       readOnly},
  };
  const bool readOnlyHolds = !std::ofstream(Literal(FromUtf8(readOnly)), std::ios::app);
  if (readOnlyHolds)  // unless the system lets this user write anyway: see the end
    cases.push_back({"write a read-only file",
                     [&] { SystemPlatform().OpenProfile(readOnly, OpenFor::Upgrading)->WriteAt(3, "x"); },
                     "open the file for writing", readOnly});
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
  // A folder named like a profile is refused, however often, and leaves nothing open behind.
  const std::optional<std::size_t> open = OpenDescriptors();
  for (int i = 0; i < 100; ++i)
    for (const OpenFor purpose : {OpenFor::Reading, OpenFor::Upgrading})
      EXPECT_THROW(SystemPlatform().OpenProfile(sub, purpose), PlatformError);
  EXPECT_EQ(OpenDescriptors(), open);
  EXPECT_FALSE(std::filesystem::exists(Literal(FromUtf8(missing))));  // opening never creates a file
  std::filesystem::permissions(Literal(FromUtf8(readOnly)), std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadBytes(FromUtf8(readOnly)), "abc");
  if (!readOnlyHolds) GTEST_SKIP() << "this user may write read-only files: their refusal was not seen";
}

// Every path reaches Windows in the form that takes names as they stand.
TEST(Platform, PathsTakeEveryNameAsItStands) {
  struct Case {
    const char* path;
    const char* current;
    const char* extended;
  };
  const Case cases[] = {
      {"C:\\Quindrel\\appfiles\\formats\\nul.qdx", "", "\\\\?\\C:\\Quindrel\\appfiles\\formats\\nul.qdx"},
      {"C:\\\\appfiles\\formats\\", "", "\\\\?\\C:\\appfiles\\formats\\"},  // a drive root's doubled separator
      {"C:/a/./b/../c. /d.qdx.", "", "\\\\?\\C:\\a\\c. \\d.qdx."},  // trailing dots and spaces kept
      {"C:\\", "", "\\\\?\\C:\\"},
      {"\\\\server\\share\\x\\con.qdx", "", "\\\\?\\UNC\\server\\share\\x\\con.qdx"},
      {"//server/share/x.qdx", "", "\\\\?\\UNC\\server\\share\\x.qdx"},  // forward slashes too
      {"sub\\aux.qdx", "D:\\work", "\\\\?\\D:\\work\\sub\\aux.qdx"},
      {"..\\x", "D:\\work\\here", "\\\\?\\D:\\work\\x"},
      {"..\\..\\..\\x", "D:\\work", "\\\\?\\D:\\x"},  // never above the root
      {"\\rooted", "D:\\work", "\\\\?\\D:\\rooted"},
      {"\\rooted", "\\\\srv\\sh\\dir", "\\\\?\\UNC\\srv\\sh\\rooted"},
      {"d:rel", "D:\\work", "\\\\?\\D:\\work\\rel"},
      {"E:rel", "D:\\work", "\\\\?\\E:\\rel"},
      {"\\\\?\\C:\\as it is\\.", "", "\\\\?\\C:\\as it is\\."},
      {"\\\\.\\pipe\\x", "", "\\\\.\\pipe\\x"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExtendedLengthPath(c.path, c.current), c.extended) << c.path;
  EXPECT_EQ(PlainPath("\\\\?\\C:\\a"), "C:\\a");
  EXPECT_EQ(PlainPath("\\\\?\\UNC\\s\\x"), "\\\\s\\x");
  EXPECT_EQ(PlainPath("C:\\a"), "C:\\a");
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
    SystemPlatform().OpenProfile(folder.File(name), OpenFor::Upgrading)->WriteAt(3, std::string(3, '\0'));
    seen.push_back(name);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_EQ(seen.size(), 50u);
}

TEST(Platform, KnowsTheProgramsFolderAndName) {
  Platform& platform = SystemPlatform();
  const std::string folder = platform.ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), platform.Separator());
  const std::string exe = folder + platform.Separator() + "platform_test" + (platform.Separator() == '\\' ? ".exe" : "");
  EXPECT_TRUE(std::filesystem::is_regular_file(FromUtf8(exe))) << exe;
  EXPECT_TRUE(platform.IsFolder(folder));
  EXPECT_FALSE(platform.IsFolder(exe));
  EXPECT_EQ(platform.FullPath(exe), exe);
  const char s = platform.Separator();
  const std::string parent = folder.substr(0, folder.rfind(s)), name = folder.substr(folder.rfind(s) + 1);
  EXPECT_TRUE(platform.IsSameFolder(folder, parent + s + "." + s + name + s + ".." + s + name + s));
  EXPECT_FALSE(platform.IsSameFolder(folder, parent));
  EXPECT_FALSE(platform.IsSameFolder(exe, exe));  // a file is no folder
  EXPECT_FALSE(platform.IsSameFolder(folder + s + "missing", folder + s + "missing"));
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
