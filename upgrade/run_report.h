#pragma once
// What a run did to each profile, and how it is told: the log and standard-output report, the
// window's box about damaged profiles, the box of a check, and the exit code.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/walk_outcome.h"
#include "upgrade/profile_upgrader.h"

namespace zelvane {

struct ProfileReport {
  explicit ProfileReport(std::string name_, UpgradeOutcome outcome_ = UpgradeOutcome::NotReached,
                         Damage damage_ = Damage::None, std::string failure_ = {})
      : name(std::move(name_)), outcome(outcome_), damage(damage_), failure(std::move(failure_)) {}

  std::string name;
  std::string user;  // whose own copy (Windows' file virtualisation) this is; empty: the installed file
  UpgradeOutcome outcome = UpgradeOutcome::NotReached;
  Damage damage = Damage::None;  // Damaged: why
  std::string failure;           // Failed: what could not be done, and the system's reason
};

// How a run ended.
enum class RunEnd : std::uint8_t {
  NoFiles,   // nothing to upgrade; the warning was shown and the button stays enabled
  Finished,  // every profile handled
  Stopped,   // the window was closed: the run stopped after the profile in hand
  Failed,    // a failure stopped the run
};

// What became of the tool itself once a run had finished.
enum class Removal : std::uint8_t {
  NotOffered,  // no question (a check, a run without a window, or a run that did not finish)
  Kept,        // the user kept the tool
  Arranged,    // the tool's executable goes once the program has ended
  Refused,     // the tool could not be removed, and the user was told why
};

struct RunReport {
  std::string formatsFolder;
  bool check = false;
  bool virtualised = false;       // Windows kept the run's writes in this user's own copies
  bool othersUnread = false;      // other users' copies were not looked at: the run may not read them
  std::vector<UserCopy> copies;   // every user's copies of the formats folder the run went over or could not reach
  RunEnd end = RunEnd::NoFiles;
  Removal removal = Removal::NotOffered;
  std::vector<ProfileReport> profiles;  // in the order the run came to them, then those not reached
  std::string failure;                  // Failed: the message that tells the user
  std::string listingFailure;           // the folder could not be listed to the end: why
  std::string logFailure;               // the log could not be written to the end: where it stops, and why

  std::size_t Count(UpgradeOutcome outcome) const;
};

// The exit codes of Zelvane.exe.
enum ExitCode : int {
  kExitDone = 0,            // finished: every profile upgraded or needing nothing
  kExitFailed = 1,          // a failure stopped the run (a check: a profile could not be read)
  kExitBadCommandLine = 2,  // nothing was done
  kExitNoProfiles = 3,      // no profiles were found
  kExitLeftAsTheyWere = 4,  // finished, but profiles were left as they were: damaged, or links to other files
  kExitNeedsUpgrade = 5,    // a check found profiles that need upgrading
  kExitStopped = 6,         // the window was closed during the run, which stopped before the end
  kExitInUse = 7,           // a profile is in use by another program: close Quindrel and run again
  kLastExitCode = kExitInUse,
};

// The version of Zelvane, as the project names it ("1.0.0").
std::string_view Version();

int ExitCodeOf(const RunReport& report);

// The exit codes and what each means, a line each.
std::string ExitCodeTable();

// The report of a run, written as the run goes: the heading with the time before the first
// profile is opened, a line for each profile once it is settled, and the end (what else is to be
// told, and a summary with the exit code) after the last. Lines end in CR LF.
std::string ReportHeading(const RunReport& report, std::string_view timestamp);
std::string ReportLine(bool check, const ProfileReport& profile);
std::string ReportEnd(const RunReport& report);

// The profile as a person is told of it: its name, and whose copy it is ("a.qdx (alice's copy)").
std::string Shown(const ProfileReport& profile);

// What the window and a check's box tell of the users' copies: those that could not be reached,
// and that Windows kept a virtualised run's changes in this user's own copies; empty when neither.
std::string CopiesMessage(const RunReport& report);

// `text` on one line, its line breaks (a system's message may hold some) made blanks.
std::string OneLine(std::string_view text);

// The report of a command line that was refused.
std::string BadCommandLineText(std::string_view error, std::string_view timestamp);

// The report of a failure that ended the program before its run could report (exit code 1).
std::string StoppedText(std::string_view what, std::string_view timestamp);

// The window's message about the profiles left as they were because they are damaged; empty
// when there are none.
std::string DamagedMessage(const RunReport& report);

// The window's message about the profiles left as they were because their names lead to other
// files (links, junctions, pipes); empty when there are none.
std::string LinksMessage(const RunReport& report);

// What a check found, for its box.
std::string CheckMessage(const RunReport& report);

}  // namespace zelvane
