// The run over the formats folder, driven headless through a recording sink.

#include "upgrade/upgrade_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>

#include "platform/caption.h"
#include "testing/files.h"
#include "testing/recording_platform.h"
#include "testing/sample_profiles.h"
#include "testing/virtualising_platform.h"
#include "upgrade/command_line_checks.h"
#include "upgrade/profile_upgrader.h"
#include "upgrade/unattended.h"

namespace zelvane {
namespace {

using namespace zelvane::testing;
using namespace zelvane::samples;

class RecordingSink : public ProgressSink {
 public:
  std::vector<std::string> calls;
  bool answer = false;
  std::function<void()> onPump = [] {};

  void SetStatusText(const std::string& text) override { calls.push_back("status " + text); }
  void DisableRunButton() override { calls.push_back("disable"); }
  std::string Caption() override { return kCaption; }
  void ShowWarning(const std::string& message, const std::string& title) override {
    calls.push_back("warning " + message + " | " + title);
  }
  bool AskYesNo(const std::string& message, const std::string& title) override {
    calls.push_back("ask " + message + " | " + title);
    return answer;
  }
  void PumpEvents() override {
    calls.push_back("pump");
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

RunOptions Paced(RunPace pace) {
  RunOptions options;
  options.pace = std::move(pace);
  return options;
}

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
  const std::string legacy_ = Encode(Legacy({"thirty", ""}));
  const std::string upgraded_ = Upgraded(legacy_);
  const RunOptions everyProfile_ = Paced({std::chrono::nanoseconds(0)});
};

// Without the formats folder, and with names in it that are not profiles (neither listed nor
// touched), a run only warns.
TEST_F(UpgradeRunTest, WithoutProfilesOnlyWarns) {
  const char* others[] = {"x.qdxold", "x.qdx.bak", ".hidden.qdx", ".system.qdx", "notes.txt", "qdx"};
  for (const bool folder : {false, true}) {
    if (folder) {
      for (const char* name : others) AddProfile(name, legacy_);
      Hide(Formats() / ".hidden.qdx", Hidden::Hidden);
      Hide(Formats() / ".system.qdx", Hidden::System);
      std::filesystem::create_directories(Formats() / "folder.qdx");
    }
    RecordingSink sink;
    EXPECT_EQ(UpgradeRun(platform_, sink).end, RunEnd::NoFiles);
    EXPECT_EQ(sink.calls, std::vector<std::string>{"warning No files were found | Zelvane"});
  }
  for (const char* name : others) EXPECT_EQ(Bytes(name), legacy_) << name;
  EXPECT_EQ(platform_.reads, 0);
}

// Each profile is shown once and upgraded or left as it is, and the report keeps what became of
// it; the run ends with "Done", then a warning that names the profiles left as they were because
// they are damaged, and only then, then the question. A check says the same of each profile and
// changes, shows and asks nothing.
TEST_F(UpgradeRunTest, EveryProfileOnceThenDoneThenTheQuestion) {
  const std::string legacy = Encode(Legacy({"thirty", "x"})), blank = Encode(Legacy({"", ""}));
  using O = UpgradeOutcome;
  struct Profile {
    std::string name, bytes;  // "alice/a.qdx": in alice's copy
    O outcome;                // InUse: another program holds it; NotReached: never listed (a copy out of reach)
    std::optional<Link> link = std::nullopt;  // the name is such a link to a file of `bytes` elsewhere
  };
  const std::vector<Profile> everyOutcome = {
      {"a upgraded.qdx", legacy, O::Upgraded},           {"b current.qdx", Upgraded(legacy), O::AlreadyCurrent},
      {"c blank.qdx", blank, O::NoChangeNeeded},         {"d leftovers.qdx", Upgraded(legacy) + "more", O::AlreadyCurrent},
      {"e cut.qdx", Truncated(legacy), O::Damaged}};
  const std::string ask = "ask Delete this tool? | Done";
  const struct {
    const char* name;
    std::vector<Profile> profiles;
    UpgradeMode mode;
    bool yes;  // the answer to the question
    Removal removal;
    int exitCode;
    std::vector<std::string> last;  // the sink's last calls (each the start of one)
    RunPace pace = {std::chrono::nanoseconds(0)};  // a pump for every read: every name is shown
    FolderCopies copies = {};  // of the formats folder; a name "alice/a.qdx" is in alice's copy of it
  } cases[] = {
      {"one profile, No", {{"a.qdx", legacy_, O::Upgraded}}, UpgradeMode::Upgrade, false, Removal::Kept, kExitDone,
       {"disable", "status a.qdx", "pump", "status Done", ask}, RunPace{}},
      {"names beyond ASCII and in any case, Yes",
       {{"a.qdx", legacy_, O::Upgraded}, {"B.QDX", legacy_, O::Upgraded}, {"c.Qdx", legacy_, O::Upgraded},
        {"\xD0\xBF\xD1\x80\xD0\xBE\xD1\x84\xD0\xB8\xD0\xBB\xD1\x8C.qdx", legacy_, O::Upgraded},
        {"\xE6\xA0\xBC\xE5\xBC\x8F.qdx", legacy_, O::Upgraded}, {"blank.qdx", blank, O::NoChangeNeeded}},
       UpgradeMode::Upgrade, true, Removal::Arranged, kExitDone, {"status Done", ask}},
      {"every outcome", everyOutcome, UpgradeMode::Upgrade, false, Removal::Kept, kExitLeftAsTheyWere,
       {"status Done", "warning 1 profile was left exactly as it was, because it is damaged:\n\ne cut.qdx: its data ends "
        "inside a field\n", ask}},
      {"every outcome, checked", everyOutcome, UpgradeMode::Check, false, Removal::NotOffered, kExitNeedsUpgrade, {"status Done"}},
      {"every user's copy, one out of reach",
       {{"a.qdx", legacy_, O::Upgraded}, {"alice/a.qdx", legacy_, O::Upgraded}, {"alice/b.qdx", blank, O::NoChangeNeeded},
        {"bob/c.qdx", legacy_, O::Upgraded}, {"carol/d.qdx", legacy_, O::NotReached}},
       UpgradeMode::Upgrade, false, Removal::Kept, kExitDone,
       {"status Done", "warning The copies of carol were not reached: its profile folder is gone.", ask}, {std::chrono::nanoseconds(0)},
       {false, {{"alice", "", ""}, {"bob", "", ""}, {"carol", "", "its profile folder is gone", true}}}},
      // A machine's run: links and a copy held by another program are named, and the run goes on.
      {"links among the profiles and the copies",
       {{"a.qdx", legacy_, O::Upgraded}, {"b.qdx", legacy_, O::Redirected, Link::ToFile}, {"alice/c.qdx", legacy_, O::Redirected, Link::Hard},
        {"alice/d.qdx", legacy_, O::Upgraded}, {"alice/e.qdx", "", O::Redirected, Link::Pipe}},
       UpgradeMode::Upgrade, false, Removal::Kept, kExitLeftAsTheyWere,
       {"status Done", "warning 3 profiles were left exactly as they were, because their names lead to other files:\n\nb.qdx: it is a link", ask},
       {std::chrono::nanoseconds(0)}, {false, {{"alice", "", ""}}}},
      {"a user's copy held by another program", {{"alice/a.qdx", legacy_, O::InUse}, {"alice/b.qdx", legacy_, O::Upgraded},
       {"bob/c.qdx", legacy_, O::Upgraded}}, UpgradeMode::Upgrade, false, Removal::Kept, kExitInUse, {"status Done", ask},
       {std::chrono::nanoseconds(0)}, {false, {{"alice", "", ""}, {"bob", "", ""}}}},
      {"every user's copy, checked", {{"alice/a.qdx", legacy_, O::Upgraded}}, UpgradeMode::Check, false,
       Removal::NotOffered, kExitNeedsUpgrade, {"status Done"}, {std::chrono::nanoseconds(0)}, {false, {{"alice", "", ""}}}},
      {"a virtualised run", {{"a.qdx", legacy_, O::Upgraded}, {"b.qdx", blank, O::NoChangeNeeded}}, UpgradeMode::Upgrade,
       false, Removal::Kept, kExitDone,
       {"status Done", "warning Windows kept the changes of this run in your own copies", ask}, {std::chrono::nanoseconds(0)}, {true, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(Formats());
    RemoveTree(program_.Path() / "VirtualStore");
    const auto shownAs = [](const std::string& name) {  // "a.qdx (alice's copy)" for "alice/a.qdx"
      const std::size_t slash = name.find('/');
      return slash == std::string::npos ? name : name.substr(slash + 1) + " (" + name.substr(0, slash) + "'s copy)";
    };
    // The users' copies, as Windows keeps them: in folders of their own, under the same names.
    const auto where = [&](const std::string& name) {
      return name.find('/') == std::string::npos ? Formats() / FromUtf8(name) : program_.Path() / "VirtualStore" / FromUtf8(name);
    };
    std::filesystem::create_directories(Formats());
    for (const auto& [name, bytes, outcome, link] : c.profiles) {
      std::filesystem::create_directories(where(name).parent_path());
      const std::filesystem::path outside = program_.Path() / ("outside " + shownAs(name));
      if (link != Link::Pipe) WriteBytes(link ? outside : where(name), bytes);
      if (link && !MakeLink(outside, where(name), *link)) GTEST_SKIP() << "this system cannot make the links of the row";
    }
    // A virtualised run (Windows' file virtualisation) writes to this user's own copies.
    VirtualisingPlatform windows(Utf8(program_.Path()), Utf8(program_.Path() / "VirtualStore" / "me") + platform_.Separator());
    RecordingPlatform platform(c.copies.virtualised ? windows : SystemPlatform());
    platform.programFolder = Utf8(program_.Path());
    platform.failOn = [&](const std::string& call, const std::string& path) {
      for (const Profile& p : c.profiles)
        if (p.outcome == O::InUse && call == "open" && FromUtf8(path) == where(p.name))
          throw PlatformError("open the file", path, "The file is in use.", Cause::InUse);
    };
    platform.copies = c.copies;
    for (UserCopy& copy : platform.copies->users)
      copy.folder = Utf8(program_.Path() / "VirtualStore" / copy.user) + platform.Separator();
    RecordingSink sink;
    sink.answer = c.yes;
    RunOptions options = Paced(c.pace);
    options.mode = c.mode;
    const RunReport report = UpgradeRun(platform, sink, options);
    EXPECT_EQ(report.end, RunEnd::Finished);
    EXPECT_EQ(report.removal, c.removal);
    EXPECT_EQ(ExitCodeOf(report), c.exitCode);
    EXPECT_EQ(platform.removals, c.removal == Removal::Arranged ? 1 : 0);
    EXPECT_EQ(sink.calls.front(), "disable");
    ASSERT_GE(sink.calls.size(), c.last.size());
    for (std::size_t i = 0; i < c.last.size(); ++i)
      EXPECT_EQ(sink.calls[sink.calls.size() - c.last.size() + i].rfind(c.last[i], 0), 0u)
          << c.last[i] << "\n" << sink.calls[sink.calls.size() - c.last.size() + i];
    std::vector<std::pair<std::string, O>> expected, got;
    for (const auto& [name, bytes, outcome, link] : c.profiles) {
      if (outcome != O::NotReached) expected.emplace_back(shownAs(name), outcome);  // a copy out of reach: never listed
      if (link == Link::Pipe) continue;  // nobody writes to it: reading it would wait for ever
      const bool changes = outcome == O::Upgraded && c.mode == UpgradeMode::Upgrade;
      const std::filesystem::path copy = FromUtf8(windows.CopyOf(Utf8(where(name))));
      if (c.copies.virtualised) {  // the installed file as it was; a copy of what was changed alone
        EXPECT_EQ(ReadBytes(copy), changes ? Upgraded(bytes) : "") << name;
      }
      EXPECT_TRUE(ReadBytes(where(name)) == (changes && !c.copies.virtualised ? Upgraded(bytes) : bytes)) << name;  // a link's file too
    }
    for (const ProfileReport& p : report.profiles) got.emplace_back(Shown(p), p.outcome);
    std::vector<std::string> shown = sink.Names();
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(got, expected);
    ASSERT_EQ(shown.size(), expected.size());
    for (std::size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i], expected[i].first);
  }
}

// A stop asked for while the run pumps events (the window was closed) finishes the profile whose
// name the label shows, and touches none after it; the profiles not reached are listed, a user's
// copies too, though the installed folder holds profiles of the same names. A listing that fails
// after the stop leaves the run stopped, with no failure to tell.
TEST_F(UpgradeRunTest, AStopFinishesTheProfileInHandOnly) {
  const std::filesystem::path alice = program_.Path() / "alice";
  std::filesystem::create_directories(alice);
  platform_.copies = FolderCopies{false, {{"alice", Utf8(alice) + platform_.Separator(), ""}}};
  for (const bool listingFails : {false, true}) {
    SCOPED_TRACE(listingFails ? "the listing fails after the stop" : "the listing goes on");
    for (const char* name : {"a.qdx", "b.qdx", "c.qdx"}) {
      AddProfile(name, legacy_);
      WriteBytes(alice / name, legacy_);
    }
    int nexts = 0;
    platform_.failOn = [&](const std::string& call, const std::string& folder) {
      if (listingFails && call == "next" && ++nexts == 3) throw PlatformError("list the folder", folder, "The network is gone.");
    };
    RecordingSink sink;
    sink.onPump = [&sink] { sink.stop = sink.stop || sink.Names().size() == 2; };  // closed as the second profile is shown
    const RunReport report = UpgradeRun(platform_, sink, everyProfile_);
    EXPECT_EQ(report.end, RunEnd::Stopped);
    EXPECT_EQ(ExitCodeOf(report), kExitStopped);
    EXPECT_EQ(report.failure, "");
    EXPECT_EQ(report.listingFailure, listingFails ? "could not list the folder: The network is gone." : "");
    const std::vector<std::string> shown = sink.Names();
    ASSERT_EQ(shown.size(), 2u);
    std::vector<std::string> notReached, expected = {"a.qdx (alice's copy)", "b.qdx (alice's copy)", "c.qdx (alice's copy)"};
    for (const ProfileReport& p : report.profiles)
      if (p.outcome == UpgradeOutcome::NotReached) notReached.push_back(Shown(p));
    for (const char* name : {"a.qdx", "b.qdx", "c.qdx"}) {
      const bool reached = std::find(shown.begin(), shown.end(), name) != shown.end();
      if (!reached) expected.push_back(name);
      EXPECT_EQ(Bytes(name), reached ? upgraded_ : legacy_) << name;
      EXPECT_EQ(ReadBytes(alice / name), legacy_) << name;
    }
    std::sort(notReached.begin(), notReached.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(notReached, expected);
  }
}

// With profiles that take 5 ms each, the window is let paint about every 16 ms, not for each
// profile, however long a paint itself takes; a profile whose reading takes longer is shown, and
// painted, while it is read. Whenever events are pumped, the label names the profile in hand.
TEST_F(UpgradeRunTest, PaintsAtDisplayRateShowingTheProfileInHand) {
  for (int i = 0; i < 40; ++i) AddProfile("p" + std::to_string(100 + i) + ".qdx", legacy_);
  LegacyProfileRecord slow = Legacy({"thirty", ""});  // its texts take several buffers to read
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
  const RunOptions options = Paced({std::chrono::milliseconds(16), [&] { return now; }});
  for (const auto paint : {std::chrono::milliseconds(0), std::chrono::milliseconds(20)}) {
    SCOPED_TRACE("a paint takes " + std::to_string(paint.count()) + " ms");
    sink_.calls.clear();
    sink_.onPump = [&] { now += paint; };
    EXPECT_EQ(UpgradeRun(platform_, sink_, options).removal, Removal::Kept);

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
    EXPECT_EQ(Bytes("p120 slow.qdx"), Upgraded(Encode(slow)));
  }
}

// An unattended run with `arguments`, as Zelvane.exe makes one: its exit code, standard output
// (or the fault of its command line), the box a check that is not quiet would show, and the log.
struct Ran {
  int code;
  std::string output, box, log;
};
Ran RunLine(RecordingPlatform& platform, const std::string& arguments, const std::string& log) {
  CommandLine line = ParseCommandLine(arguments);
  ReportWriter writer(platform);
  Ran ran{kExitBadCommandLine, {}, {}, {}};
  if (const std::string fault = PrepareCommandLine(platform, line, writer); !fault.empty())
    writer.WriteWhole(BadCommandLineText(fault, platform.LocalTimestamp()));
  else
    ran.code = RunUnattended(platform, writer, line, ran.box);
  ran.output = platform.output;
  ran.log = ReadBytes(FromUtf8(log));
  return ran;
}

// A failure at any call of a whole unattended run, of any kind (the log's open, check, append and
// flush, the listing, a profile's open, read, write and close), upgrading and checking, and at
// every call in turn until the run finishes: each profile is as it was or exactly upgraded, nothing
// upgraded is reported not reached, the exit code is the one the report ends with, the log is a
// whole-line prefix of standard output, and the failure is named.
TEST_F(UpgradeRunTest, AFailureAtAnyCallOfARunIsToldAndLosesNothing) {
  const std::string log = Utf8(program_.Path() / "run.log");
  const char* const names[] = {"a.qdx", "b.qdx", "c.qdx", "d.qdx"};
  // Virtualised: Windows keeps what the run writes in this user's own copies.
  VirtualisingPlatform windows(Utf8(program_.Path()), Utf8(program_.Path() / "VirtualStore") + platform_.Separator());
  for (const auto& [check, virtualised] : {std::pair{false, false}, std::pair{true, false}, std::pair{false, true}}) {
    bool finished = false;
    for (int failAt = 1; !finished && failAt < 500; ++failAt) {
      SCOPED_TRACE(std::string(check ? "checked" : "upgraded") + (virtualised ? ", virtualised" : "") + ", failing at call " +
                   std::to_string(failAt));
      for (const char* name : names) AddProfile(name, legacy_);
      std::filesystem::remove_all(program_.Path() / "VirtualStore");
      std::filesystem::remove(FromUtf8(log));
      RecordingPlatform platform(virtualised ? windows : SystemPlatform());
      platform.programFolder = Utf8(program_.Path());
      int calls = 0;
      std::string failed;  // the call made to fail, and what it was given
      platform.failOn = [&](const std::string& call, const std::string& path) {
        if (++calls != failAt) return;
        failed = call + " " + path;
        throw PlatformError(call, path, "Injected.");
      };
      const std::string folder = Utf8(program_.Path());
      const Ran ran = RunLine(platform, std::string("/quiet ") + (check ? "/check " : "") + "/log:\"" + log + "\" /folder:\"" + folder + "\"", log);
      finished = calls < failAt;
      // Named, but where the system tells a failure in what a call gives, and where the folder's
      // full form cannot be had and it is taken as typed.
      const bool told = !finished && platform.untold == 0 && failed != "full path " + folder;
      // Standard output holds the report, or where a write to it failed, the log does and says so.
      const std::string& report = platform.outputRead ? ran.output : ran.log;
      EXPECT_EQ(ran.output.find("Injected.") != std::string::npos, told) << ran.output;
      for (const char* name : names) {
        const std::string copy = windows.CopyOf(Utf8(Formats() / name));
        const std::string bytes = virtualised && std::filesystem::exists(FromUtf8(copy)) ? ReadBytes(FromUtf8(copy)) : Bytes(name);
        EXPECT_TRUE(bytes == legacy_ || (!check && bytes == upgraded_)) << name;
        EXPECT_TRUE(!virtualised || Bytes(name) == legacy_) << name << ": the installed file changed";
        if (bytes == upgraded_) {
          EXPECT_EQ(report.find(std::string("not reached: ") + name), std::string::npos) << report;
        }
      }
      if (ran.code != kExitBadCommandLine) {
        EXPECT_NE(report.find(". Exit code " + std::to_string(ran.code) + ": "), std::string::npos) << report;
      } else {
        EXPECT_EQ(platform.opens, 0) << "a profile was opened by a run that could not start";
        EXPECT_TRUE(!std::filesystem::exists(FromUtf8(log)) || !ran.log.empty()) << "a log it made and could not write was left behind";
      }
      EXPECT_TRUE(ran.log.empty() || ran.log.ends_with("\r\n")) << ran.log;
      if (platform.outputRead) {
        EXPECT_TRUE(ran.output.starts_with(ran.log)) << ran.log;
      } else if (!ran.log.empty() && ran.code != kExitBadCommandLine) {
        EXPECT_NE(ran.log.find("\r\nStandard output was not read, so the report there ends early"), std::string::npos) << ran.log;
      }
    }
    EXPECT_TRUE(finished);
  }
}

// What people meet, word for word: a profile another program holds, a listing that fails part-way
// (a share that drops; a fresh listing names the profiles not reached, or, when the folder cannot
// be listed at all, nothing is touched), and a log that fails at its heading (nothing done), at a
// line or at its summary (the run goes on; the log ends with a whole line and standard output says
// where it stops), or whose standard output nobody reads. A check goes on past a profile it
// cannot read. A report begins on a line of its own whatever the log ended with.
TEST_F(UpgradeRunTest, FailuresAreToldWordForWord) {
  const std::string log = Utf8(program_.Path() / "run.log");
  const std::string gone = "could not list the folder: The network is gone.";
  const std::string full = "(could not write to the file: There is not enough space on the disk.)";
  const std::string incomplete = "The log \"" + log + "\" is incomplete: it ends before ";
  const struct {
    const char* name;
    const char* call;  // the call that fails, at its n-th time
    int nth;
    bool check, withLog;
    std::string action, reason;
    Cause cause;
    int exitCode;
    const char* changed;             // which of a, b, c, d end upgraded
    std::vector<std::string> said;   // in standard output
  } rows[] = {
      {"a profile held", "open", 3, false, true, "open the file", "The file is in use.", Cause::InUse, kExitInUse, "uu--",
       {"\nin use by another program: c.qdx (could not open the file: The file is in use.)\r\n", "\nnot reached: d.qdx\r\n"}},
      {"a profile held, checked", "open", 3, true, false, "open the file", "The file is in use.", Cause::InUse, kExitInUse,
       "----", {"\nin use by another program: c.qdx (could not open the file: The file is in use.)\r\n",
                "\nwould be upgraded: d.qdx\r\n"}},
      {"a profile unreadable", "read", 5, false, false, "read the file", "The device is not ready.", Cause::Other,
       kExitFailed, "uu--", {"\nfailed: c.qdx (could not read the file: The device is not ready.)\r\n", "\nnot reached: d.qdx\r\n"}},
      {"a reason naming a surrogate without its pair", "read", 5, false, false, "read the file", "\"\xED\xA0\xB4\" is not ready.",
       Cause::Other, kExitFailed, "uu--", {"\nfailed: c.qdx (could not read the file: \"\xEF\xBF\xBD\" is not ready.)\r\n"}},
      {"a profile unreadable, checked", "read", 3, true, false, "read the file", "The device is not ready.", Cause::Other,
       kExitFailed, "----", {"\ncannot be read: c.qdx (could not read the file: The device is not ready.)\r\n",
                             "\nwould be upgraded: d.qdx\r\n"}},
      {"the third name", "next", 3, false, false, "list the folder", "The network is gone.", Cause::Other, kExitFailed, "uu--",
       {"\nnot reached: c.qdx\r\n", "\nnot reached: d.qdx\r\nThe profiles could not be listed to the end: " + gone}},
      {"the first name", "next", 1, false, false, "list the folder", "The network is gone.", Cause::Other, kExitFailed, "----",
       {"\nnot reached: a.qdx\r\n", "Summary: 4 profiles: 4 not reached."}},
      {"the folder", "list", 1, false, false, "list the folder", "The network is gone.", Cause::Other, kExitFailed, "----",
       {"The profiles could not be listed to the end: " + gone, "Summary: 4 profiles: 4 not reached."}},
      {"the log's heading", "append and flush", 1, false, true, "write to the file", "There is not enough space on the disk.",
       Cause::Other, kExitBadCommandLine, "----", {" cannot be written: could not write to the file. There is not enough space",
                                                  "Nothing was done. Exit code 2.\r\n"}},
      {"the second profile's line", "append", 2, false, true, "write to the file", "There is not enough space on the disk.",
       Cause::Other, kExitDone, "uuuu", {incomplete + "the line of \"b.qdx\" " + full + "\r\n"}},
      {"the summary", "append and flush", 2, false, true, "write to the file", "There is not enough space on the disk.",
       Cause::Other, kExitDone, "uuuu", {incomplete + "its summary " + full + "\r\n"}},
      {"a check's first line", "append", 1, true, true, "write to the file", "There is not enough space on the disk.",
       Cause::Other, kExitNeedsUpgrade, "----", {incomplete + "the line of \"a.qdx\" " + full + "\r\n"}},
      {"standard output never read", "", 0, false, true, "", "", Cause::Other, kExitDone, "uuuu", {}},
      {"another run holding the log's lock", "lock", 0, false, true, "", "", Cause::Other, kExitDone, "uuuu",
       {"\nupgraded: a.qdx\r\nAnother run has held the lock of the log for more than 10 seconds: this run appends to it"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    for (const char* name : {"a.qdx", "b.qdx", "c.qdx", "d.qdx"}) AddProfile(name, legacy_);
    const std::string earlier = "the end of an earlier run, cut short";  // no line end
    WriteBytes(FromUtf8(log), earlier);
    RecordingPlatform platform;
    platform.programFolder = Utf8(program_.Path());
    platform.outputRead = *r.call != 0;
    platform.lockAbandoned = std::string(r.call) == "lock";
    int calls = 0;
    std::string logAtFailure;  // lines are written as the run goes, not at its end
    platform.failOn = [&](const std::string& call, const std::string& path) {
      if (call != r.call || ++calls != r.nth) return;
      logAtFailure = ReadBytes(FromUtf8(log));
      throw PlatformError(r.action, path, r.reason, r.cause);
    };
    const Ran ran = RunLine(platform, std::string("/quiet ") + (r.check ? "/check" : "") +
                                          (r.withLog ? " /log:\"" + log + "\"" : ""), log);
    EXPECT_EQ(ran.code, r.exitCode);
    for (std::size_t i = 0; i < 4; ++i)
      EXPECT_EQ(Bytes(std::string(1, static_cast<char>('a' + i)) + ".qdx"), r.changed[i] == 'u' ? upgraded_ : legacy_) << i;
    for (const std::string& words : r.said) EXPECT_NE(ran.output.find(words), std::string::npos) << words << "\n" << ran.output;
    if (!r.withLog) continue;
    if (ran.code == kExitBadCommandLine) {
      EXPECT_EQ(ran.log, earlier);
      EXPECT_EQ(platform.opens, 0);
      continue;
    }
    ASSERT_TRUE(ran.log.starts_with(earlier + "\r\n")) << ran.log;
    const std::string report = ran.log.substr(earlier.size() + 2);
    if (!*r.call) {  // the log holds all of the report, and says that standard output does not
      EXPECT_EQ(report, ran.output + "Standard output was not read, so the report there ends early; this log holds all of it.\r\n");
      continue;
    }
    if (std::string(r.call) == "lock") {  // the log says it, as standard output does
      EXPECT_EQ(report, ran.output);
      continue;
    }
    if (std::string(r.call) == "open") {
      EXPECT_NE(logAtFailure.find("\r\nupgraded: b.qdx\r\n"), std::string::npos) << logAtFailure;
      EXPECT_NE(ran.log.find("\r\nnot reached: d.qdx\r\n"), std::string::npos) << ran.log;
      continue;
    }
    EXPECT_NE(ran.box.find(r.said[0].substr(0, r.said[0].size() - 2)), std::string::npos) << ran.box;
    EXPECT_TRUE(ran.output.starts_with(report) && report.ends_with("\r\n")) << report;
  }
}

}  // namespace
}  // namespace zelvane
