// How a run's report is worded for the log, the boxes and the exit code.

#include "upgrade/run_report.h"

#include <gtest/gtest.h>

namespace zelvane {
namespace {

RunReport Sample(bool check, RunEnd end) {
  RunReport report;
  report.formatsFolder = "C:\\Quindrel\\appfiles\\formats\\";
  report.check = check;
  report.end = end;
  report.profiles = {ProfileReport("Invoice.qdx", UpgradeOutcome::Upgraded),
                     ProfileReport("Current.qdx", UpgradeOutcome::AlreadyCurrent),
                     ProfileReport("Blank.qdx", UpgradeOutcome::NoChangeNeeded),
                     ProfileReport("Cut.qdx", UpgradeOutcome::Damaged, Damage::EndsInsideField),
                     ProfileReport("Claims.qdx", UpgradeOutcome::Damaged, Damage::ClaimExceedsFile)};
  return report;
}

// "T  Zelvane 1.0.0: ", how every report's first line begins.
std::string Heading(const char* timestamp) { return std::string(timestamp) + "  Zelvane " + std::string(Version()) + ": "; }

// The whole report, as a run writes it piece by piece.
std::string ReportText(const RunReport& report, const char* timestamp) {
  std::string out = ReportHeading(report, timestamp);
  for (const ProfileReport& p : report.profiles) out += ReportLine(report.check, p);
  return out + ReportEnd(report);
}

TEST(RunReport, TheLogHasALineForEachProfileAndASummary) {
  RunReport stopped = Sample(false, RunEnd::Failed);
  stopped.profiles.emplace_back("Held.qdx", UpgradeOutcome::Failed, Damage::None, "could not open the file: In\r\nuse.");
  stopped.profiles.emplace_back("Later.qdx");
  EXPECT_EQ(ReportText(stopped, "2026-12-07 14:20:05"),
            Heading("2026-12-07 14:20:05") + "upgrade of C:\\Quindrel\\appfiles\\formats\\\r\n"
            "upgraded: Invoice.qdx\r\n"
            "already in the 2.0.12 layout: Current.qdx\r\n"
            "needed no change: Blank.qdx\r\n"
            "damaged, left as it was: Cut.qdx (its data ends inside a field)\r\n"
            "damaged, left as it was: Claims.qdx (an array in it claims more elements than the file holds)\r\n"
            "failed: Held.qdx (could not open the file: In  use.)\r\n"
            "not reached: Later.qdx\r\n"
            "Summary: 7 profiles: 1 upgraded, 1 already in the 2.0.12 layout, 1 needed no change, 2 damaged, 1 failed, "
            "1 not reached. Exit code 1: a failure stopped the run.\r\n");
  EXPECT_EQ(ReportText(Sample(true, RunEnd::Finished), "T"),
            Heading("T") + "check of C:\\Quindrel\\appfiles\\formats\\\r\n"
            "would be upgraded: Invoice.qdx\r\n"
            "already in the 2.0.12 layout: Current.qdx\r\n"
            "needs no change: Blank.qdx\r\n"
            "damaged, would be left as it is: Cut.qdx (its data ends inside a field)\r\n"
            "damaged, would be left as it is: Claims.qdx (an array in it claims more elements than the file holds)\r\n"
            "Summary: 5 profiles: 1 would be upgraded, 1 already in the 2.0.12 layout, 1 needs no change, 2 damaged. "
            "Exit code 5: with /check: some profiles need upgrading.\r\n");
  const auto made = [](bool check, RunEnd end, std::vector<ProfileReport> profiles, std::string listingFailure = {}) {
    RunReport report;
    report.formatsFolder = "F\\";
    report.check = check;
    report.end = end;
    report.profiles = std::move(profiles);
    report.listingFailure = std::move(listingFailure);
    return report;
  };
  const std::pair<RunReport, std::string> cases[] = {
      {made(true, RunEnd::Finished,  // a check goes on past a profile it cannot read
            {ProfileReport("Held.qdx", UpgradeOutcome::Failed, Damage::None, "could not open the file: Damaged medium.")}),
       "check of F\\\r\ncannot be read: Held.qdx (could not open the file: Damaged medium.)\r\nSummary: 1 profile: 1 cannot be "
       "read. Exit code 1: with /check: a profile could not be read.\r\n"},
      {made(false, RunEnd::Failed, {ProfileReport("Later.qdx")}, "could not list the folder: Gone."),
       "upgrade of F\\\r\nnot reached: Later.qdx\r\nThe profiles could not be listed to the end: could not list the "
       "folder: Gone.\r\nSummary: 1 profile: 1 not reached. Exit code 1: a failure stopped the run.\r\n"},
      {made(true, RunEnd::Finished,
            {ProfileReport("Held.qdx", UpgradeOutcome::InUse, Damage::None, "could not open the file: In use."),
             ProfileReport("a.qdx", UpgradeOutcome::NoChangeNeeded), ProfileReport("b.qdx", UpgradeOutcome::NoChangeNeeded)}),
       "check of F\\\r\nin use by another program: Held.qdx (could not open the file: In use.)\r\nneeds no change: "
       "a.qdx\r\nneeds no change: b.qdx\r\nSummary: 3 profiles: 2 need no change, 1 in use by another program. Exit "
       "code 7: a profile is in use by another program: close Quindrel and run again.\r\n"},
      {made(false, RunEnd::NoFiles, {}),
       "upgrade of F\\\r\nNo profiles were found.\r\nSummary: 0 profiles. Exit code 3: no profiles were found.\r\n"},
  };
  for (const auto& [report, text] : cases) EXPECT_EQ(ReportText(report, "T"), Heading("T") + text);

  // Every user's copies: each profile named with its user, those not reached named with why.
  RunReport copies = made(false, RunEnd::Finished,
                          {ProfileReport("a.qdx", UpgradeOutcome::Upgraded), ProfileReport("a.qdx", UpgradeOutcome::Upgraded)});
  copies.profiles[1].user = "alice";
  copies.copies = {{"alice", "C:\\Users\\alice\\V\\", ""},
                   {"bob", "C:\\Users\\bob\\V\\", "its profile folder C:\\Users\\bob is not on this machine", true}};
  EXPECT_EQ(ReportText(copies, "T"),
            Heading("T") + "upgrade of F\\\r\nnot reached: the copies of bob (its profile folder C:\\Users\\bob is not on "
            "this machine)\r\nand of the copies Windows keeps of it for its users: alice (C:\\Users\\alice\\V\\)\r\n"
            "upgraded: a.qdx\r\nupgraded: a.qdx (alice's copy)\r\nSummary: 2 profiles: 2 upgraded. Exit code 0: finished: "
            "every profile was upgraded or needed nothing.\r\n");
  EXPECT_EQ(CopiesMessage(copies), "The copies of bob were not reached: its profile folder C:\\Users\\bob is not on this machine.");
  RunReport virtualised = made(false, RunEnd::Finished, {ProfileReport("a.qdx", UpgradeOutcome::Upgraded)});
  virtualised.virtualised = true;
  EXPECT_NE(ReportText(virtualised, "T").find("\r\nWindows kept the changes of this run in your own copies of the profiles"
                                              " (it does so for programs run without administrator rights): the installed "
                                              "profiles and other users' copies were not changed. Run Zelvane as "
                                              "administrator to upgrade them all.\r\nSummary:"),
            std::string::npos);
  virtualised.check = true;
  EXPECT_NE(CheckMessage(virtualised).find("\n\nWindows showed this check your own copies"), std::string::npos);
  RunReport unread = made(false, RunEnd::Finished, {ProfileReport("a.qdx", UpgradeOutcome::Upgraded)});
  unread.othersUnread = true;  // a standard user's run that Windows does not virtualise
  EXPECT_NE(ReportText(unread, "T").find("\r\nOther users' copies of the profiles, which Windows keeps for them, were "
                                         "not looked at: this run may not read them. Run Zelvane as administrator to "
                                         "upgrade them too.\r\nSummary:"),
            std::string::npos);
  // What ends the program before a run could report: the exit code it really ends with.
  EXPECT_EQ(BadCommandLineText("\"/x\" is not a switch Zelvane knows.", "T"),
            Heading("T") + "the command line is not right: \"/x\" is not a switch Zelvane knows. Nothing was done. "
            "Exit code 2.\r\n");
  EXPECT_EQ(StoppedText("C:\\a\nCould not do it.\r\nTry again.", "T"),
            Heading("T") + "stopped: C:\\a Could not do it.  Try again. Exit code 1.\r\n");
}

TEST(RunReport, ExitCodesTellTheOutcome) {
  RunReport clean = Sample(false, RunEnd::Finished);
  clean.profiles.erase(clean.profiles.begin() + 3, clean.profiles.end());
  RunReport checkedClean = clean;
  checkedClean.check = true;
  checkedClean.profiles[0].outcome = UpgradeOutcome::AlreadyCurrent;
  RunReport checkFailed = Sample(true, RunEnd::Finished);
  checkFailed.profiles.emplace_back("Held.qdx", UpgradeOutcome::Failed);
  RunReport stoppedInUse = Sample(false, RunEnd::Failed);
  stoppedInUse.profiles.emplace_back("Held.qdx", UpgradeOutcome::InUse);
  RunReport inUseAndFailed = checkFailed;  // what trying again will not mend comes first
  inUseAndFailed.profiles.emplace_back("Open.qdx", UpgradeOutcome::InUse);
  RunReport copyRefused = clean, copyAbsent = clean, othersUnread = clean;  // a refused copy may hold profiles Quindrel reads
  othersUnread.othersUnread = true;
  copyRefused.copies = {{"carol", "C:\\Users\\carol\\V\\", "its copies could not be opened: Access is denied."}};
  copyAbsent.copies = {{"bob", "C:\\Users\\bob\\V\\", "its profile folder is not on this machine", true}};
  RunReport checkOnlyDamaged = Sample(true, RunEnd::Finished);
  checkOnlyDamaged.profiles.erase(checkOnlyDamaged.profiles.begin());
  const std::pair<RunReport, int> cases[] = {
      {clean, kExitDone},
      {checkedClean, kExitDone},
      {Sample(false, RunEnd::Finished), kExitLeftAsTheyWere},
      {Sample(false, RunEnd::Failed), kExitFailed},
      {RunReport{}, kExitNoProfiles},
      {Sample(true, RunEnd::Finished), kExitNeedsUpgrade},
      {checkFailed, kExitFailed},
      {Sample(false, RunEnd::Stopped), kExitStopped},
      {stoppedInUse, kExitInUse},
      {inUseAndFailed, kExitFailed},
      {checkOnlyDamaged, kExitLeftAsTheyWere},
      {copyRefused, kExitFailed},
      {copyAbsent, kExitDone},
      {othersUnread, kExitDone},
  };
  for (const auto& [report, code] : cases) EXPECT_EQ(ExitCodeOf(report), code) << ReportText(report, "");
}

TEST(RunReport, TheWindowNamesDamagedProfilesUpToTen) {
  RunReport report = Sample(false, RunEnd::Finished);
  EXPECT_EQ(DamagedMessage(report),
            "2 profiles were left exactly as they were, because they are damaged:\n\n"
            "Cut.qdx: its data ends inside a field\n"
            "Claims.qdx: an array in it claims more elements than the file holds\n\n"
            "Zelvane did not change them. Quindrel 2.0.12 may not read them correctly; restore them from a backup "
            "if you can.");
  report.profiles.pop_back();
  EXPECT_EQ(DamagedMessage(report).rfind("1 profile was left exactly as it was, because it is damaged:\n\nCut.qdx: its", 0), 0u);
  for (int i = 0; i < 11; ++i) report.profiles.emplace_back("More " + std::to_string(i) + ".qdx", UpgradeOutcome::Damaged);
  const std::string many = DamagedMessage(report);
  EXPECT_NE(many.find("More 8.qdx"), std::string::npos);
  EXPECT_EQ(many.find("More 9.qdx"), std::string::npos);
  EXPECT_NE(many.find("\nand 2 more.\n"), std::string::npos);
  report.profiles.erase(report.profiles.begin() + 3, report.profiles.end());
  EXPECT_EQ(DamagedMessage(report), "");
}

TEST(RunReport, ACheckSaysWhatARunWouldDo) {
  EXPECT_EQ(CheckMessage(Sample(true, RunEnd::Finished)),
            "Zelvane checked 5 profiles in C:\\Quindrel\\appfiles\\formats\\ and changed nothing.\n\n"
            "Would be upgraded (1):\nInvoice.qdx\n\n"
            "Damaged, would be left as they are (2):\n"
            "Cut.qdx: its data ends inside a field\n"
            "Claims.qdx: an array in it claims more elements than the file holds\n\n"
            "Already in the 2.0.12 layout: 1. Needing no change: 1.");
  RunReport unreadable = Sample(true, RunEnd::Finished);
  unreadable.profiles.erase(unreadable.profiles.begin() + 1, unreadable.profiles.end());
  unreadable.profiles.emplace_back("Held.qdx", UpgradeOutcome::Failed, Damage::None, "could not open the file: Not ready.");
  unreadable.profiles.emplace_back("Open.qdx", UpgradeOutcome::InUse, Damage::None, "could not open the file: In use.");
  EXPECT_EQ(CheckMessage(unreadable),
            "Zelvane checked 3 profiles in C:\\Quindrel\\appfiles\\formats\\ and changed nothing.\n\n"
            "Would be upgraded (1):\nInvoice.qdx\n\nCannot be read (1):\nHeld.qdx: could not open the file: Not ready.\n\n"
            "In use by another program (close Quindrel and check again) (1):\nOpen.qdx: could not open the file: In use.\n\n"
            "Already in the 2.0.12 layout: 0. Needing no change: 0.");
  RunReport none;
  none.formatsFolder = "F\\";
  none.check = true;
  EXPECT_EQ(CheckMessage(none), "No profiles were found in F\\.");
}

}  // namespace
}  // namespace zelvane
