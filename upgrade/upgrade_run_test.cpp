// The run over the formats folder, driven headless through a recording sink.

#include "upgrade/upgrade_run.h"

#include <algorithm>
#include <functional>

#include "testing/test_files.h"
#include "upgrade/upgrade_file.h"

namespace zelvane {
namespace {

using namespace zelvane::testing;

class RecordingSink : public ProgressSink {
 public:
  std::vector<std::string> calls;
  bool answer = false;
  int stopAfterPumps = -1;  // ask to stop after this many PumpEvents
  std::function<void()> onPump = [] {};

  void SetStatusText(const std::string& text) override { calls.push_back("status " + text); }
  void DisableRunButton() override { calls.push_back("disable"); }
  std::string Caption() override { return "Zelvane"; }
  void ShowWarning(const std::string& message, const std::string& title) override {
    calls.push_back("warning " + message + " | " + title);
  }
  bool AskYesNo(const std::string& message, const std::string& title) override {
    calls.push_back("ask " + message + " | " + title);
    return answer;
  }
  void PumpEvents() override {
    calls.push_back("pump");
    stop = stop || --stopAfterPumps == 0;
    onPump();
  }
  bool StopRequested() override { return stop; }
  bool stop = false;

  std::vector<std::string> Names() const {  // the file names shown, in order
    std::vector<std::string> names;
    for (const std::string& c : calls)
      if (c.rfind("status ", 0) == 0 && c != "status Done") names.push_back(c.substr(7));
    return names;
  }
};

class UpgradeRunTest : public ::testing::Test {
 protected:
  UpgradeRunTest() { platform_.programFolder = Utf8(program_.Path()); }

  std::filesystem::path Formats() const { return program_.Path() / "appfiles" / "formats"; }
  void AddProfile(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(Formats());
    WriteBytes(Formats() / FromUtf8(name), bytes);
  }
  std::string Bytes(const std::string& name) const { return ReadBytes(Formats() / FromUtf8(name)); }

  TempFolder program_;
  RecordingPlatform platform_;
  RecordingSink sink_;
  const std::string legacy_ = Encode(SampleLegacy("thirty", ""));
  const std::string upgraded_ = legacy_ + std::string(3, '\0');
  const RunPace everyProfile_{std::chrono::nanoseconds(0)};
};

const std::vector<std::string> NoFiles = {"warning No files were found | Zelvane"};

TEST_F(UpgradeRunTest, FormatsFolderIsBelowTheProgramFolder) {
  const char s = platform_.Separator();
  EXPECT_EQ(FormatsFolder(platform_), Utf8(program_.Path()) + s + "appfiles" + s + "formats" + s);
}

TEST_F(UpgradeRunTest, WithoutAFolderOnlyWarns) {
  EXPECT_EQ(UpgradeRun(platform_, sink_), RunEnd::NoFiles);
  EXPECT_EQ(sink_.calls, NoFiles);
}

TEST_F(UpgradeRunTest, NamesThatAreNotProfilesAreNeitherListedNorTouched) {
  const char* others[] = {"x.qdxold", "x.qdx.bak", ".hidden.qdx", "notes.txt", "qdx"};
  for (const char* name : others) AddProfile(name, legacy_);
  std::filesystem::create_directories(Formats() / "folder.qdx");
  EXPECT_EQ(UpgradeRun(platform_, sink_), RunEnd::NoFiles);
  EXPECT_EQ(sink_.calls, NoFiles);
  for (const char* name : others) EXPECT_EQ(Bytes(name), legacy_) << name;
  EXPECT_EQ(platform_.reads, 0);
}

TEST_F(UpgradeRunTest, OneFileShowsItsNameThenDoneThenAsks) {
  AddProfile("a.qdx", legacy_);
  EXPECT_EQ(UpgradeRun(platform_, sink_), RunEnd::Kept);
  const std::vector<std::string> expected = {"disable", "status a.qdx", "pump", "status Done",
                                             "ask Delete this tool? | Done"};
  EXPECT_EQ(sink_.calls, expected);
  EXPECT_EQ(Bytes("a.qdx"), upgraded_);
  EXPECT_EQ(platform_.removals, 0);
}

TEST_F(UpgradeRunTest, EveryProfileOnceAndYesRemovesTheProgram) {
  const std::vector<std::string> names = {"a.qdx", "B.QDX", "c.Qdx",
                                          "\xD0\xBF\xD1\x80\xD0\xBE\xD1\x84\xD0\xB8\xD0\xBB\xD1\x8C.qdx",
                                          "\xE6\xA0\xBC\xE5\xBC\x8F.qdx"};
  for (const std::string& name : names) AddProfile(name, legacy_);
  AddProfile("blank.qdx", Encode(SampleLegacy("", "")));
  sink_.answer = true;
  EXPECT_EQ(UpgradeRun(platform_, sink_, everyProfile_), RunEnd::RemovalArranged);

  std::vector<std::string> shown = sink_.Names();
  std::sort(shown.begin(), shown.end());
  std::vector<std::string> all = names;
  all.push_back("blank.qdx");
  std::sort(all.begin(), all.end());
  EXPECT_EQ(shown, all);
  EXPECT_EQ(sink_.calls.front(), "disable");
  EXPECT_EQ(sink_.calls.back(), "ask Delete this tool? | Done");
  for (const std::string& name : names) EXPECT_EQ(Bytes(name), upgraded_) << name;
  EXPECT_EQ(Bytes("blank.qdx"), Encode(SampleLegacy("", "")));
  EXPECT_EQ(platform_.removed,
            platform_.programFolder + platform_.Separator() + SystemPlatform().ProgramName() + ".exe");
}

TEST_F(UpgradeRunTest, AFailureEndsTheRunAndNamesTheFile) {
  for (const char* name : {"a.qdx", "b.qdx", "c.qdx", "d.qdx", "e.qdx"}) AddProfile(name, legacy_);
  platform_.failOn = [](const std::string& call, const std::string& path) {
    if (call == "write" && path.find("c.qdx") != std::string::npos)
      throw PlatformError("open the file for writing", path, "The file is in use.");
  };
  try {
    UpgradeRun(platform_, sink_, everyProfile_);
    ADD_FAILURE() << "the run did not report the failure";
  } catch (const UpgradeFailure& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("\"c.qdx\""), std::string::npos) << message;
    EXPECT_NE(message.find("open the file for writing"), std::string::npos) << message;
    EXPECT_NE(message.find("The file is in use."), std::string::npos) << message;
  }
  const std::vector<std::string> shown = sink_.Names();  // the platform's order
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), "c.qdx");
  for (const char* name : {"a.qdx", "b.qdx", "d.qdx", "e.qdx"}) {
    const bool visited = std::find(shown.begin(), shown.end(), name) != shown.end();
    EXPECT_EQ(Bytes(name), visited ? upgraded_ : legacy_) << name;
  }
  EXPECT_EQ(Bytes("c.qdx"), legacy_);
  EXPECT_EQ(std::count(sink_.calls.begin(), sink_.calls.end(), "status Done"), 0);
}

TEST_F(UpgradeRunTest, RunningOutOfMemoryIsReportedForTheFile) {
  AddProfile("huge.qdx", legacy_);
  platform_.failOn = [](const std::string& call, const std::string&) {
    if (call == "read") throw std::bad_alloc();
  };
  try {
    UpgradeRun(platform_, sink_);
    ADD_FAILURE() << "the run did not report the failure";
  } catch (const UpgradeFailure& e) {
    EXPECT_NE(std::string(e.what()).find("\"huge.qdx\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("not enough memory"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Bytes("huge.qdx"), legacy_);
}

// A stop asked for while the run pumps events (the window was closed) finishes the profile whose
// name the label shows, and touches none after it.
TEST_F(UpgradeRunTest, AStopFinishesTheProfileInHandOnly) {
  for (const char* name : {"a.qdx", "b.qdx", "c.qdx"}) AddProfile(name, legacy_);
  sink_.stopAfterPumps = 3;  // the window is closed in the first pump of the second profile
  EXPECT_EQ(UpgradeRun(platform_, sink_, everyProfile_), RunEnd::Stopped);
  const std::vector<std::string> shown = sink_.Names();
  ASSERT_EQ(shown.size(), 2u);
  int upgraded = 0;
  for (const char* name : {"a.qdx", "b.qdx", "c.qdx"}) upgraded += Bytes(name) == upgraded_;
  EXPECT_EQ(upgraded, 2);
  for (const std::string& name : shown) EXPECT_EQ(Bytes(name), upgraded_) << name;
}

// With profiles that take 5 ms each, the window is let paint about every 16 ms, not for each
// profile; a profile whose reading takes longer is shown, and painted, while it is read. Whenever
// events are pumped, the label names the profile in hand.
TEST_F(UpgradeRunTest, PaintsAtDisplayRateShowingTheProfileInHand) {
  for (int i = 0; i < 40; ++i) AddProfile("p" + std::to_string(100 + i) + ".qdx", legacy_);
  LegacyProfileRecord slow = SampleLegacy("thirty", "");  // its texts take several buffers to read
  slow[LegacyProfileRecord::BlockB][ProfileBlock::Texts] = {{{{600, 0}}}, std::vector<Text>(600, std::string(3000, 's'))};
  AddProfile("p120 slow.qdx", Encode(slow));
  RunPace::Clock::time_point now{};
  std::string opened;
  platform_.failOn = [&](const std::string& call, const std::string& path) {
    if (call == "open") {
      opened = path.substr(path.find_last_of(platform_.Separator()) + 1);
      sink_.calls.push_back("open " + opened);
      now += std::chrono::milliseconds(5);
    }
    if (call == "read") {
      sink_.calls.push_back("read");
      if (opened == "p120 slow.qdx") now += std::chrono::milliseconds(20);
    }
  };
  const RunPace pace{std::chrono::milliseconds(16), [&] { return now; }};
  EXPECT_EQ(UpgradeRun(platform_, sink_, pace), RunEnd::Kept);

  // The profile in hand at a pump: the one opened next, when the pump came before opening it;
  // otherwise the one being read.
  const std::vector<std::string>& calls = sink_.calls;
  int pumps = 0, pumpsInSlow = 0;
  for (std::size_t k = 0; k < calls.size(); ++k) {
    if (calls[k] != "pump") continue;
    ++pumps;
    std::string status, inHand;
    for (std::size_t i = k; i-- > 0 && (status.empty() || inHand.empty());) {
      if (status.empty() && calls[i].rfind("status ", 0) == 0) status = calls[i].substr(7);
      if (inHand.empty() && calls[i].rfind("open ", 0) == 0) inHand = calls[i].substr(5);
    }
    if (k + 1 < calls.size() && calls[k + 1].rfind("open ", 0) == 0) inHand = calls[k + 1].substr(5);
    EXPECT_EQ(status, inHand) << "a paint at call " << k << " would show another profile than the one in hand";
    pumpsInSlow += inHand == "p120 slow.qdx";
  }
  EXPECT_GE(pumpsInSlow, 2);
  EXPECT_GE(pumps, 41 * 5 / 16 - 1);
  EXPECT_LE(pumps, 41 * 5 / 16 + pumpsInSlow + 2);
  EXPECT_EQ(Bytes("p120 slow.qdx"), Encode(slow) + std::string(3, '\0'));
}

TEST_F(UpgradeRunTest, ARefusedRemovalIsReported) {
  AddProfile("a.qdx", legacy_);
  sink_.answer = true;
  platform_.failOn = [](const std::string& call, const std::string& path) {
    if (call == "remove") throw PlatformError("arrange the removal of", path, "No temporary folder.");
  };
  EXPECT_THROW(UpgradeRun(platform_, sink_), PlatformError);
}

}  // namespace
}  // namespace zelvane
