// Upgrading one file in place: what is written, what is left alone, and failures.

#include "upgrade/profile_upgrader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "testing/files.h"
#include "testing/recording_platform.h"
#include "testing/sample_profiles.h"
#include "testing/virtualising_platform.h"
#ifdef _WIN32
#include "platform/system_win32.h"
#include "testing/files_win32.h"
#endif

namespace zelvane {
namespace {

using namespace zelvane::testing;
using namespace zelvane::samples;

// One profile, by an upgrader of its own.
UpgradeResult UpgradeProfileFile(Platform& platform, const std::string& path) {
  return ProfileUpgrader(64 * 1024).Upgrade(platform, path);
}

struct Case {
  const char* name;
  std::string before;
  UpgradeResult result;
  std::string after;
  std::optional<std::uint64_t> writtenAt = std::nullopt;  // where the one write starts, when there is one
};

std::vector<Case> Cases() {
  const std::string both = Encode(Legacy());
  const std::string only30 = Encode(Legacy({"thirty", ""}));
  const std::string only31 = Encode(Legacy({"", "thirty-one"}));
  const std::string blank = Encode(Legacy({"", ""}));
  const std::string long30 = Encode(Legacy({std::string(40000, '\xC4'), ""}));  // over 32 KiB
  const std::string current = Encode(Current({"thirty", ""}, "new", 7));
  const std::size_t text30At = FieldStart(only30, LegacyProfileRecord::Text30.index);
  const std::size_t text31At = FieldStart(only30, LegacyProfileRecord::Text31.index);
  // BlockA's byte array ends where its text array starts.
  const std::size_t bytesEnd = FieldStart(both, ProfileBlock::Texts.index, layouts::ProfileBlock,
                                          FieldStart(both, LegacyProfileRecord::BlockA.index));
  const UpgradeResult upgraded{UpgradeOutcome::Upgraded};
  const UpgradeResult unchanged{UpgradeOutcome::NoChangeNeeded};
  const UpgradeResult blankTail = unchanged;
  const UpgradeResult isCurrent{UpgradeOutcome::AlreadyCurrent};
  const UpgradeResult cut{UpgradeOutcome::Damaged, Damage::EndsInsideField};
  const UpgradeResult overclaim{UpgradeOutcome::Damaged, Damage::ClaimExceedsFile};
  const std::string hostile = ClaimingProfile(ProfileBlock::Items.index).bytes;
  LegacyProfileRecord manyEmpty = Legacy();  // 360,000 zero bytes of items: more than one buffer
  manyEmpty[LegacyProfileRecord::BlockA][ProfileBlock::Items] = {{{{30000, 1}}}, std::vector<Record>(30000, BlockItem{})};
  const std::string empties = Encode(manyEmpty);
  return {
      {"fields 36 and 37 set", both, upgraded, Upgraded(both), both.size()},
      {"field 36 set", only30, upgraded, Upgraded(only30), only30.size()},
      {"field 37 set", only31, upgraded, Upgraded(only31), only31.size()},
      {"field 36 of 40,000 bytes", long30, upgraded, Upgraded(long30), long30.size()},
      {"blank tail", blank, blankTail, blank},
      {"blank tail followed by a text and a byte", Upgraded(blank), blankTail, Upgraded(blank)},  // the rule applied first
      {"empty file", "", blankTail, ""},
      {"legacy followed by 00 00 00", Upgraded(both), isCurrent, Upgraded(both)},
      {"a 2.0.12 record with fields 38 and 39 set", current, isCurrent, current},
      {"legacy followed by 00 00 00 and more", Upgraded(both) + "more", isCurrent, Upgraded(both) + "more"},
      {"legacy followed by 00 41 42", both + std::string("\0AB", 3), upgraded, Upgraded(both), both.size() + 1},
      // What a shorter save leaves after a 2.0.12 record: fields 38 and 39 stay.
      {"a text and a byte followed by more", both + std::string("\1\0A\7more", 8), isCurrent,
       both + std::string("\1\0A\7more", 8)},
      {"trailing bytes past the record", both + "XYZWV", upgraded, Upgraded(both) + "WV", both.size()},
      {"one trailing byte", both + "X", upgraded, Upgraded(both), both.size()},
      {"cut inside field 37", Truncated(both), cut, Truncated(both)},
      {"cut inside an array", both.substr(0, bytesEnd - 1), overclaim, both.substr(0, bytesEnd - 1)},
      {"a text running past the end", std::string("\0\0\x05\0abc", 7), cut, std::string("\0\0\x05\0abc", 7)},
      {"cut just before field 37", only30.substr(0, text31At), upgraded, Upgraded(only30), text31At},
      {"cut just before field 36", only30.substr(0, text30At), blankTail, only30.substr(0, text30At)},
      {"an array claiming 4,294,967,295 elements", hostile, overclaim, hostile},
      {"30,000 empty items", empties, upgraded, Upgraded(empties), empties.size()},
  };
}

// Each case through buffers of several sizes: the smallest ones refill and skip across every
// boundary a field can have. A check says what an upgrade would do, and opens nothing for
// writing: a reader that shares only reading, as Quindrel, is never refused meanwhile. Upgraded
// twice, a profile changes once: the second upgrade finds the 2.0.12 record the first one left.
// In a run that Windows virtualises, the profile upgraded is the user's copy (made by the open for
// writing when there is none yet), and the installed file is never changed; a profile that needs
// no change gets no copy.
TEST(UpgradeProfileFile, WritesOnlyWhatTheNewLayoutAdds) {
  TempFolder folder;
  const auto longAgo = std::chrono::floor<std::chrono::seconds>(std::filesystem::file_time_type::clock::now() -
                                                                 std::chrono::hours(24 * 400));
  const char s = SystemPlatform().Separator();
  const std::string place = folder.File("Program Files"), formats = place + s + "Q" + s;
  std::filesystem::create_directories(Literal(FromUtf8(formats)));
  VirtualisingPlatform windows(place, folder.File("VirtualStore") + s);
  const std::string installed = formats + "profile.qdx", copy = windows.CopyOf(installed);
  const std::string elsewhere = Encode(Legacy({"", ""}));  // the installed file, when the user has a copy
  using Mode = UpgradeMode;
  enum class Store { None, NoCopyYet, Copied };  // Windows' file virtualisation: none; the user's copy not there, there
  const struct {
    std::size_t buffer;
    Mode mode;
    Store store = Store::None;
  } runs[] = {{16, Mode::Upgrade},  {17, Mode::Upgrade}, {100, Mode::Upgrade}, {100, Mode::Check},
              {ProfileUpgrader::kDefaultBufferSize, Mode::Upgrade}, {17, Mode::Upgrade, Store::NoCopyYet},
              {17, Mode::Check, Store::NoCopyYet}, {ProfileUpgrader::kDefaultBufferSize, Mode::Upgrade, Store::Copied}};
  for (const auto& [buffer, mode, store] : runs) {
    for (const Case& c : Cases()) {
      SCOPED_TRACE(std::string(c.name) + ", buffer " + std::to_string(buffer) + (mode == Mode::Check ? ", checked" : "") +
                   (store == Store::None ? "" : store == Store::Copied ? ", virtualised, copied before" : ", virtualised"));
      std::filesystem::remove(Literal(FromUtf8(copy)));
      const std::string path = store == Store::None ? folder.File("profile.qdx") : installed;
      WriteBytes(FromUtf8(path), store == Store::Copied ? elsewhere : c.before);
      if (store == Store::Copied) WriteBytes(FromUtf8(copy), c.before);
      const bool writes = c.writtenAt && mode == Mode::Upgrade;
      const bool copied = store == Store::Copied || (store == Store::NoCopyYet && writes);
      const std::string& holds = copied ? copy : path;  // the user's profile: what their Quindrel reads
      std::filesystem::last_write_time(Literal(FromUtf8(store == Store::Copied ? copy : path)), longAgo);
      RecordingPlatform platform(windows);
      EXPECT_EQ(ProfileUpgrader(buffer).Upgrade(platform, path, mode), c.result);
      EXPECT_EQ(ReadBytes(FromUtf8(holds)), mode == Mode::Check ? c.before : c.after);
      if (store != Store::None) {
        EXPECT_EQ(ReadBytes(FromUtf8(path)), store == Store::Copied ? elsewhere : c.before) << "the installed file changed";
        EXPECT_EQ(std::filesystem::exists(Literal(FromUtf8(copy))), copied) << "a copy made for nothing, or none made";
      }
      // Opened for writing only to be written: Windows gives a virtualised program a copy of its own
      // of every file it opens so.
      const std::vector<OpenFor> opened =
          writes ? std::vector<OpenFor>{OpenFor::Reading, OpenFor::Writing} : std::vector<OpenFor>{OpenFor::Reading};
      EXPECT_EQ(platform.purposes, opened);
      EXPECT_EQ(platform.closes, platform.opens) << "a failing close would go unreported";
      ASSERT_EQ(platform.written.size(), writes ? 1u : 0u);
      if (!platform.written.empty()) {
        EXPECT_EQ(platform.written[0].first, *c.writtenAt);
      } else {
        EXPECT_EQ(std::filesystem::last_write_time(Literal(FromUtf8(holds))), longAgo) << "written all the same";
      }
      if (mode == Mode::Check) continue;
      // Once more: what the first upgrade left needs nothing, and is never written again.
      RecordingPlatform again(windows);
      const UpgradeResult second = ProfileUpgrader(buffer).Upgrade(again, path);
      EXPECT_EQ(second, writes ? UpgradeResult{UpgradeOutcome::AlreadyCurrent} : c.result);
      EXPECT_TRUE(again.written.empty());
      EXPECT_EQ(ReadBytes(FromUtf8(holds)), c.after);
    }
  }
}

// What a failure says is the platform's (its tests say how); here, which failure reaches the caller.
TEST(UpgradeProfileFile, FailuresNameTheFileTheStepAndTheReason) {
  TempFolder folder;
  const std::string blank = folder.File("blank.qdx"), legacy = folder.File("legacy.qdx");
  const std::string legacyBytes = Encode(Legacy({"a", "b"}));
  WriteBytes(FromUtf8(blank), Encode(Legacy({"", ""})));
  WriteBytes(FromUtf8(legacy), legacyBytes);

  // Writing refused, whoever refuses it: the refusal alone is told, since nothing was written and
  // there is nothing to give back. On Windows, a reader that shares only reading refuses it too.
  RecordingPlatform refusing;
  refusing.writingRefused = true;
  std::vector<std::pair<std::string, std::function<UpgradeResult(const std::string&)>>> refusals = {
      {"", [&](const std::string& path) { return UpgradeProfileFile(refusing, path); }}};
#ifdef _WIN32
  refusals.push_back({SystemMessage(ERROR_SHARING_VIOLATION), [](const std::string& path) {
                        const FileHold reader(Widen(path), FILE_SHARE_READ);
                        return UpgradeProfileFile(SystemPlatform(), path);
                      }});
#endif
  for (const auto& [reason, upgrade] : refusals) {
    EXPECT_EQ(upgrade(blank).outcome, UpgradeOutcome::NoChangeNeeded) << reason;
    try {
      upgrade(legacy);
      ADD_FAILURE() << "a profile that cannot be written was upgraded";
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Action(), "open the file for writing");
      EXPECT_EQ(e.Reason().find("Giving the profile back"), std::string::npos) << e.Reason();
      if (!reason.empty()) {
        EXPECT_EQ(e.Reason(), reason);
      }
    }
    EXPECT_EQ(ReadBytes(FromUtf8(legacy)), legacyBytes);
  }

  // Read-only files: a profile that needs no change is still read; one that does fails at the write.
  for (const std::string* p : {&blank, &legacy})
    std::filesystem::permissions(Literal(FromUtf8(*p)), std::filesystem::perms::owner_read);
  if (std::ofstream(Literal(FromUtf8(legacy)), std::ios::app)) GTEST_SKIP() << "this user may write read-only files (root may, natively and under Wine)";
  EXPECT_EQ(UpgradeProfileFile(SystemPlatform(), blank).outcome, UpgradeOutcome::NoChangeNeeded);
  EXPECT_THROW(UpgradeProfileFile(SystemPlatform(), legacy), PlatformError);
  for (const std::string* p : {&blank, &legacy})
    std::filesystem::permissions(Literal(FromUtf8(*p)), std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadBytes(FromUtf8(legacy)), legacyBytes);
}

// Another program saves the profile while the upgrade has it in hand: it writes a new file and
// renames it over the old one, or rewrites it in place with as many bytes and its times kept. While
// the profile is held nobody may write it; between the read and the open for writing somebody may,
// and then the profile is decided again from what the handle that writes reads, and upgraded from
// its new bytes (or left, when they need no change): never a mix of the two saves.
TEST(UpgradeProfileFile, AProfileSavedMeanwhileIsUpgradedFromItsNewBytes) {
  TempFolder folder;
  const std::string path = folder.File("profile.qdx");
  const std::string legacy = Encode(Legacy({"thirty", "x"}));
  const std::string before = legacy + std::string(1000, 'z');
  const std::string longerRecord = Encode(Legacy({"thirty, longer", "x"}));
  const struct {
    const char* name;
    std::string record, rest;  // the bytes another program saves: a record, and what follows it
    bool inPlace;
    bool blank = false;  // needs no change
  } saves[] = {
      {"a shorter record with a blank tail", Encode(Current({"", ""})), "", false, true},
      {"a longer record", Encode(Legacy({"replaced", "with a longer one"})), std::string(5000, 'y'), false},
      {"the same bytes, in a new file", legacy, std::string(1000, 'z'), false},
      {"a longer record in as many bytes", longerRecord, std::string(before.size() - longerRecord.size(), 'z'), true},
  };
  for (const auto& save : saves) {
    const std::string saved = save.record + save.rest;
    ASSERT_TRUE(!save.inPlace || saved.size() == before.size());
    for (const std::string moment : {"read", "open for writing", "write"}) {
#ifdef _WIN32
      const bool held = moment != "open for writing";  // the save is refused
#else
      const bool held = false;  // POSIX has no share modes to refuse it
      if (save.inPlace && moment == "write") continue;
#endif
      SCOPED_TRACE(std::string(save.name) + " saved at the " + moment);
      WriteBytes(FromUtf8(path), before);
      const auto times = std::filesystem::last_write_time(Literal(FromUtf8(path)));
      RecordingPlatform platform;
      bool done = false;
      platform.failOn = [&](const std::string& call, const std::string& p) {
        if (call != moment || done) return;
        done = true;
#ifdef _WIN32
        EXPECT_EQ(OthersMayWrite(FromUtf8(p)), !held) << "another program may write the profile while it is held";
#endif
        std::error_code refused;  // where the system refuses to change a file held open
        if (save.inPlace) {
          std::ofstream out(Literal(FromUtf8(p)), std::ios::binary | std::ios::in | std::ios::out);
          out.write(saved.data(), static_cast<std::streamsize>(saved.size()));
          out.close();
          std::filesystem::last_write_time(Literal(FromUtf8(p)), times, refused);
        } else {
          WriteBytes(FromUtf8(p + ".new"), saved);
          std::filesystem::rename(Literal(FromUtf8(p + ".new")), Literal(FromUtf8(p)), refused);
        }
      };
      ProfileUpgrader(16).Upgrade(platform, path);
      const std::string expected = held ? Upgraded(legacy) + before.substr(Upgraded(legacy).size())
                                   : moment == "write" ? saved  // the write reached the file the name no longer leads to
                                   : save.blank      ? saved
                                                     : Upgraded(save.record) + save.rest.substr(3);
      EXPECT_EQ(ReadBytes(FromUtf8(path)), expected);
      std::filesystem::remove(Literal(FromUtf8(path + ".new")));
    }
  }
}

// A failure at any call reaches the caller, and leaves the profile as it was or upgraded. Among
// them a write that lands part of its bytes (a disk that fills): the file is given back its length
// and bytes, and when that fails too, the failure says so with the write's.
TEST(UpgradeProfileFile, AFailureAtAnyCallIsReportedAndLosesNothing) {
  TempFolder folder;
  const std::string path = folder.File("profile.qdx");
  const std::string legacy = Encode(Legacy({"thirty", std::string(300, 't')})), only30 = Encode(Legacy({"thirty", ""}));
  const std::string cut = only30.substr(0, FieldStart(only30, LegacyProfileRecord::Text31.index));
  const std::pair<std::string, std::string> shapes[] = {  // before, and upgraded
      {legacy + "XY", Upgraded(legacy)}, {legacy, Upgraded(legacy)}, {cut, Upgraded(only30)},
      {legacy + std::string("\0AB", 3), Upgraded(legacy)}};
  for (const auto& [before, upgraded] : shapes) {
    for (const bool partWay : {false, true}) {
      bool finished = false;
      for (int failAt = 1; !finished && failAt < 100; ++failAt) {
        SCOPED_TRACE(std::to_string(before.size()) + " bytes, failing at call " + std::to_string(failAt) +
                     (partWay ? ", the first write landing part-way" : ""));
        WriteBytes(FromUtf8(path), before);
        RecordingPlatform platform;
        if (partWay) platform.writeLandsBytes = 1;
        int calls = 0;
        platform.failOn = [&](const std::string& call, const std::string& p) {
          if (++calls == failAt) throw PlatformError("fail at " + call, p, "Injected.");
        };
        bool givenBack = true;
        try {
          ProfileUpgrader(64).Upgrade(platform, path);
          finished = true;
          EXPECT_FALSE(partWay) << "the failed write was not reported";
        } catch (const PlatformError& e) {
          finished = calls < failAt;  // the disk's own failure, nothing injected
          const bool diskFirst = e.Reason().rfind("There is not enough space", 0) == 0;
          EXPECT_NE(e.Reason().find(finished ? "There is not enough space" : "Injected."), std::string::npos) << e.Reason();
          // Injected while the partial write was being taken back: told with the write's failure.
          givenBack = e.Reason().find("Giving the profile back its former end failed too") == std::string::npos;
          EXPECT_EQ(givenBack, finished || !diskFirst) << e.Reason();
        }
        EXPECT_LT(calls, failAt + (finished ? 0 : 1)) << "the failure did not reach the caller";
        const std::string after = ReadBytes(FromUtf8(path));
        if (givenBack) {
          EXPECT_TRUE(after == (partWay ? before : upgraded) || after == before) << "size " << after.size();
        }
      }
      EXPECT_TRUE(finished);
    }
  }
}

// A profile past 4 GiB is upgraded, in the 32-bit program too: BlockB's byte array holds
// 5,000,000,000 bytes, left as a hole in a sparse file, and only the bytes around it are read.
TEST(UpgradeProfileFile, ProfilesLargerThan4GiBWork) {
  const auto [head, rest, at] = SplitAtArray(Legacy({"thirty", ""}), LegacyProfileRecord::BlockB,
                                             ProfileBlock::Bytes.index, {{{2'500'000'000u, 0}, {2, 1}}});
  const std::uint64_t hole = 2'500'000'000ull * 2;

  TempFolder folder;
  const std::string path = folder.File("huge.qdx");
  {
    std::ofstream out(Literal(FromUtf8(path)), std::ios::binary);
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
    out.seekp(static_cast<std::streamoff>(head.size() + hole));
    out.write(rest.data(), static_cast<std::streamsize>(rest.size()));
    ASSERT_TRUE(out.good());
  }
  const std::uint64_t size = head.size() + hole + rest.size();
  ASSERT_EQ(std::filesystem::file_size(Literal(FromUtf8(path))), size);

  EXPECT_EQ(UpgradeProfileFile(SystemPlatform(), path).outcome, UpgradeOutcome::Upgraded);
  ASSERT_EQ(std::filesystem::file_size(Literal(FromUtf8(path))), size + 3);
  std::ifstream in(Literal(FromUtf8(path)), std::ios::binary);
  std::string start(head.size(), '\0'), end(rest.size() + 3, '\0');
  in.read(start.data(), static_cast<std::streamsize>(start.size()));
  in.seekg(static_cast<std::streamoff>(head.size() + hole));
  in.read(end.data(), static_cast<std::streamsize>(end.size()));
  EXPECT_EQ(start, head);
  EXPECT_EQ(end, Upgraded(rest));
}

}  // namespace
}  // namespace zelvane
