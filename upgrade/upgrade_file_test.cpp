// Upgrading one file in place: what is written, what is left alone, and failures.

#include "upgrade/upgrade_file.h"

#include "format/record_reader.h"
#include "testing/test_files.h"

namespace zelvane {
namespace {

using namespace zelvane::testing;

const std::string Zeros3("\0\0\0", 3);

struct Case {
  const char* name;
  std::string before;
  UpgradeResult result;
  std::string after;
};

std::vector<Case> Cases() {
  const std::string both = Encode(SampleLegacy("thirty", "thirty-one"));
  const std::string only30 = Encode(SampleLegacy("thirty", ""));
  const std::string only31 = Encode(SampleLegacy("", "thirty-one"));
  const std::string blank = Encode(SampleLegacy("", ""));
  CurrentProfileRecord current = ToCurrent(SampleLegacy("thirty", ""));
  current[CurrentProfileRecord::Text32] = "new";
  current[CurrentProfileRecord::Byte5] = 7;
  const std::string currentBytes = EncodeRecord(current.layout, current);
  const std::size_t text31At = only30.size() - 2;  // the empty Text31 is the last two bytes
  const UpgradeResult upgraded{UpgradeOutcome::Upgraded, SkipReason::None};
  const UpgradeResult blankTail{UpgradeOutcome::Skipped, SkipReason::BlankTail};
  const UpgradeResult isCurrent{UpgradeOutcome::Skipped, SkipReason::AlreadyCurrent};
  const UpgradeResult damaged{UpgradeOutcome::Skipped, SkipReason::Damaged};
  return {
      {"fields 36 and 37 set", both, upgraded, both + Zeros3},
      {"field 36 set", only30, upgraded, only30 + Zeros3},
      {"field 37 set", only31, upgraded, only31 + Zeros3},
      {"blank tail", blank, blankTail, blank},
      {"empty file", "", blankTail, ""},
      {"legacy followed by 00 00 00", both + Zeros3, isCurrent, both + Zeros3},
      {"a 2.0.12 record with fields 38 and 39 set", currentBytes, isCurrent, currentBytes},
      {"trailing bytes past the record", both + "XYZWV", upgraded, both + Zeros3 + "WV"},
      {"one trailing byte", both + "X", upgraded, both + Zeros3},
      {"cut inside field 37", both.substr(0, both.size() - 3), damaged, both.substr(0, both.size() - 3)},
      {"cut inside an array", both.substr(0, 130), damaged, both.substr(0, 130)},
      {"cut just before field 37", only30.substr(0, text31At), upgraded,
       only30.substr(0, text31At) + std::string(2, '\0') + Zeros3},
      {"cut just before field 36", only30.substr(0, text31At - 8), blankTail, only30.substr(0, text31At - 8)},
      {"an array claiming 4,294,967,295 elements",
       std::string("\0\0\x01\0\xFF\xFF\xFF\xFF\0\0\0\0", 12) + std::string(88, 'x'), damaged,
       std::string("\0\0\x01\0\xFF\xFF\xFF\xFF\0\0\0\0", 12) + std::string(88, 'x')},
  };
}

TEST(UpgradeProfileFile, WritesOnlyWhatTheNewLayoutAdds) {
  TempFolder folder;
  for (const Case& c : Cases()) {
    const std::string path = folder.File("profile.qdx");
    WriteBytes(FromUtf8(path), c.before);
    RecordingPlatform platform;
    EXPECT_EQ(UpgradeProfileFile(platform, path), c.result) << c.name;
    EXPECT_EQ(ReadBytes(FromUtf8(path)), c.after) << c.name;
    EXPECT_EQ(platform.reads, 1) << c.name;
    EXPECT_EQ(platform.writes, c.result.outcome == UpgradeOutcome::Upgraded ? 1 : 0) << c.name;
  }
}

TEST(UpgradeProfileFile, UpgradedFileReadsBackAsTheSameRecordInTheNewLayout) {
  TempFolder folder;
  const std::string path = folder.File("rich.qdx");
  const LegacyProfileRecord legacy = SampleLegacy("x", "y");
  WriteBytes(FromUtf8(path), Encode(legacy));
  ASSERT_EQ(UpgradeProfileFile(SystemPlatform(), path).outcome, UpgradeOutcome::Upgraded);

  CurrentProfileRecord current;
  const std::string bytes = ReadBytes(FromUtf8(path));
  RecordReader reader(bytes);
  ASSERT_EQ(reader.ReadRecord(current.layout, current), ReadEnd::Complete);
  EXPECT_EQ(reader.Position(), bytes.size());
  for (std::size_t i = 0; i < ProfileFields::SharedFieldCount; ++i)
    EXPECT_EQ(current.fields[i], legacy.fields[i]) << "field " << i + 1;
  EXPECT_EQ(current[CurrentProfileRecord::Text32], "");
  EXPECT_EQ(current[CurrentProfileRecord::Byte5], 0);

  // A second upgrade finds a 2.0.12 record and leaves it.
  EXPECT_EQ(UpgradeProfileFile(SystemPlatform(), path).reason, SkipReason::AlreadyCurrent);
  EXPECT_EQ(ReadBytes(FromUtf8(path)), bytes);
}

TEST(UpgradeProfileFile, FailuresNameTheFileTheStepAndTheReason) {
  TempFolder folder;
  const std::string missing = folder.File("missing.qdx");
  try {
    UpgradeProfileFile(SystemPlatform(), missing);
    ADD_FAILURE() << "reading a missing file succeeded";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Path(), missing);
    EXPECT_EQ(e.Action(), "open the file for reading");
    EXPECT_FALSE(e.Reason().empty());
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(FromUtf8(missing)));  // opening never creates

  const std::string path = folder.File("profile.qdx");
  const std::string before = Encode(SampleLegacy("a", "b"));
  WriteBytes(FromUtf8(path), before);
  RecordingPlatform refusing;
  refusing.failOn = [](const std::string& call, const std::string& p) {
    if (call == "write") throw PlatformError("open the file for writing", p, "Access is denied.");
  };
  EXPECT_THROW(UpgradeProfileFile(refusing, path), PlatformError);
  EXPECT_EQ(ReadBytes(FromUtf8(path)), before);
}

TEST(UpgradeProfileFile, WorksWithAnyFileName) {
  TempFolder folder;
  for (const char* name : {"\xD0\x9F\xD1\x80\xD0\xBE\xD1\x84\xD0\xB8\xD0\xBB\xD1\x8C.qdx",  // Cyrillic
                           "\xE6\xA0\xBC\xE5\xBC\x8F \xF0\x9F\x93\x84.qdx",                     // CJK, emoji
                           "with spaces; and 'quotes'.qdx"}) {
    const std::string path = folder.File(name);
    const std::string before = Encode(SampleLegacy("a", ""));
    WriteBytes(FromUtf8(path), before);
    EXPECT_EQ(UpgradeProfileFile(SystemPlatform(), path).outcome, UpgradeOutcome::Upgraded) << name;
    EXPECT_EQ(ReadBytes(FromUtf8(path)), before + Zeros3) << name;
  }
}

TEST(UpgradeProfileFile, LongPathsWork) {
  TempFolder folder;
  std::filesystem::path deep = folder.Path();
  for (int i = 0; i < 6; ++i) deep /= std::string(50, static_cast<char>('a' + i));
  std::filesystem::create_directories(deep);
  const std::string path = Utf8(deep / "profile.qdx");
  ASSERT_GT(path.size(), 300u);
  const std::string before = Encode(SampleLegacy("", "b"));
  WriteBytes(FromUtf8(path), before);
  EXPECT_EQ(UpgradeProfileFile(SystemPlatform(), path).outcome, UpgradeOutcome::Upgraded);
  EXPECT_EQ(ReadBytes(FromUtf8(path)), before + Zeros3);
}

}  // namespace
}  // namespace zelvane
