#include "upgrade/run_report.h"

#include <algorithm>
#include <optional>

namespace zelvane {
namespace {

constexpr std::size_t kNamesShown = 10;  // in a box; the log names every profile

const char* Why(Damage damage) {
  return damage == Damage::ClaimExceedsFile ? "an array in it claims more elements than the file holds"
                                            : "its data ends inside a field";
}

// What became of a profile, as a line of the report says it.
const char* OutcomeText(UpgradeOutcome outcome, bool check) {
  switch (outcome) {
    case UpgradeOutcome::Upgraded: return check ? "would be upgraded" : "upgraded";
    case UpgradeOutcome::AlreadyCurrent: return "already in the 2.0.12 layout";
    case UpgradeOutcome::NoChangeNeeded: return check ? "needs no change" : "needed no change";
    case UpgradeOutcome::Damaged: return check ? "damaged, would be left as it is" : "damaged, left as it was";
    case UpgradeOutcome::Failed: return check ? "cannot be read" : "failed";
    case UpgradeOutcome::InUse: return "in use by another program";
    case UpgradeOutcome::Redirected: return check ? "would be left as it is" : "left as it was";
    case UpgradeOutcome::NotReached: return "not reached";
  }
  return "";
}

// What an exit code means; `check`: as a check ends with it, or, when not known, either way.
const char* ExitMeaning(int code, std::optional<bool> check = std::nullopt) {
  switch (code) {
    case kExitDone: return "finished: every profile was upgraded or needed nothing";
    case kExitFailed:
      return !check ? "a failure stopped the run (with /check: a profile could not be read)"
             : *check ? "with /check: a profile could not be read"
                      : "a failure stopped the run";
    case kExitBadCommandLine: return "the command line is not right; nothing was done";
    case kExitNoProfiles: return "no profiles were found";
    case kExitLeftAsTheyWere: return "finished, but profiles were left as they were: damaged ones, or links to other files";
    case kExitNeedsUpgrade: return "with /check: some profiles need upgrading";
    case kExitStopped: return "stopped before the end: the window was closed during the run";
    case kExitInUse: return "a profile is in use by another program: close Quindrel and run again";
    default: return "";
  }
}

// "2026-12-07 14:20:05  Zelvane 1.0.0: ", how each report begins.
std::string Heading(std::string_view timestamp) {
  return std::string(timestamp) + "  Zelvane " + std::string(Version()) + ": ";
}

// What Windows did with a virtualised run's reads and writes.
std::string VirtualisedText(bool check) {
  return check ? "Windows showed this check your own copies of the profiles, where you have them (it keeps them for "
                 "programs run without administrator rights): the installed profiles and other users' copies were not "
                 "looked at. Check as administrator to see them all."
               : "Windows kept the changes of this run in your own copies of the profiles (it does so for programs run "
                 "without administrator rights): the installed profiles and other users' copies were not changed. Run "
                 "Zelvane as administrator to upgrade them all.";
}

// That other users' copies were not looked at.
std::string OthersUnreadText(bool check) {
  return std::string("Other users' copies of the profiles, which Windows keeps for them, were not looked at: this ") +
         (check ? "check" : "run") + " may not read them. " +
         (check ? "Check as administrator to see them all." : "Run Zelvane as administrator to upgrade them too.");
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Up to kNamesShown lines for the profiles in `outcome`, each named with why, where there is a
// why, then how many more.
std::string Listed(const RunReport& report, UpgradeOutcome outcome) {
  std::string out;
  std::size_t all = 0;
  for (const ProfileReport& p : report.profiles) {
    if (p.outcome != outcome || ++all > kNamesShown) continue;
    out += Shown(p);
    if (outcome == UpgradeOutcome::Damaged) out.append(": ").append(Why(p.damage));
    if (!p.failure.empty()) out.append(": ").append(p.failure);
    out += '\n';
  }
  if (all > kNamesShown) out += "and " + std::to_string(all - kNamesShown) + " more.\n";
  return out;
}

}  // namespace

std::size_t RunReport::Count(UpgradeOutcome outcome) const {
  return static_cast<std::size_t>(
      std::count_if(profiles.begin(), profiles.end(), [outcome](const ProfileReport& p) { return p.outcome == outcome; }));
}

std::string_view Version() { return ZELVANE_VERSION; }

// Users whose copies could be there, but could not be looked at.
std::size_t RefusedCopies(const RunReport& report) {
  return static_cast<std::size_t>(std::count_if(report.copies.begin(), report.copies.end(), [](const UserCopy& c) {
    return !c.unreachable.empty() && !c.absent && !c.link;
  }));
}

int ExitCodeOf(const RunReport& report) {
  if (RefusedCopies(report) > 0) return kExitFailed;  // not every profile Quindrel reads was looked at
  if (report.end == RunEnd::NoFiles) return kExitNoProfiles;
  if (report.Count(UpgradeOutcome::Failed) > 0) return kExitFailed;  // a failure that trying again will not mend
  if (report.Count(UpgradeOutcome::InUse) > 0) return kExitInUse;
  if (report.end == RunEnd::Failed) return kExitFailed;
  if (report.end == RunEnd::Stopped) return kExitStopped;
  if (report.check && report.Count(UpgradeOutcome::Upgraded) > 0) return kExitNeedsUpgrade;
  const bool linkedCopies = std::any_of(report.copies.begin(), report.copies.end(), [](const UserCopy& c) { return c.link; });
  if (report.Count(UpgradeOutcome::Damaged) > 0 || report.Count(UpgradeOutcome::Redirected) > 0 || linkedCopies)
    return kExitLeftAsTheyWere;
  return kExitDone;
}

std::string ExitCodeTable() {
  std::string out;
  for (int code = kExitDone; code <= kLastExitCode; ++code)
    out += std::to_string(code) + " \xE2\x80\x93 " + ExitMeaning(code) + "\n";
  return out;
}

std::string ReportHeading(const RunReport& report, std::string_view timestamp) {
  std::string out = Heading(timestamp) + (report.check ? "check of " : "upgrade of ") + report.formatsFolder + "\r\n";
  std::string reached;
  for (const UserCopy& c : report.copies) {
    if (c.unreachable.empty())
      reached += (reached.empty() ? "" : ", ") + c.user + " (" + c.folder + ")";
    else
      out += std::string(c.link ? "left as they were: " : "not reached: ") + "the copies of " + c.user + " (" +
             OneLine(c.unreachable) + ")\r\n";
  }
  if (!reached.empty()) out += "and of the copies Windows keeps of it for its users: " + reached + "\r\n";
  return out;
}

std::string Shown(const ProfileReport& p) { return p.user.empty() ? p.name : p.name + " (" + p.user + "'s copy)"; }

std::string ReportLine(bool check, const ProfileReport& p) {
  std::string out = std::string(OutcomeText(p.outcome, check)) + ": " + Shown(p);
  if (p.outcome == UpgradeOutcome::Damaged) out += std::string(" (") + Why(p.damage) + ")";
  if (p.outcome == UpgradeOutcome::Failed || p.outcome == UpgradeOutcome::InUse) out += " (" + OneLine(p.failure) + ")";
  if (p.outcome == UpgradeOutcome::Redirected) out += ": " + OneLine(p.failure);
  return out + "\r\n";
}

std::string ReportEnd(const RunReport& report) {
  std::string out;
  if (report.end == RunEnd::NoFiles) out += "No profiles were found.\r\n";
  if (report.virtualised) out += OneLine(VirtualisedText(report.check)) + "\r\n";
  if (report.othersUnread) out += OthersUnreadText(report.check) + "\r\n";
  if (!report.listingFailure.empty()) out += "The profiles could not be listed to the end: " + OneLine(report.listingFailure) + "\r\n";
  out += "Summary: " + Plural(report.profiles.size(), "profile", "profiles");
  const char* separator = ": ";
  for (const UpgradeOutcome outcome : {UpgradeOutcome::Upgraded, UpgradeOutcome::AlreadyCurrent, UpgradeOutcome::NoChangeNeeded,
                                   UpgradeOutcome::Damaged, UpgradeOutcome::Redirected, UpgradeOutcome::Failed, UpgradeOutcome::InUse,
                                   UpgradeOutcome::NotReached}) {
    if (const std::size_t n = report.Count(outcome)) {
      const bool needs = outcome == UpgradeOutcome::NoChangeNeeded && report.check;
      const bool left = outcome == UpgradeOutcome::Redirected;
      out += separator + std::to_string(n) + " " +
             (outcome == UpgradeOutcome::Damaged ? "damaged"
              : needs                            ? (n == 1 ? "needs no change" : "need no change")
              : left && n > 1                    ? (report.check ? "would be left as they are" : "left as they were")
                                                 : OutcomeText(outcome, report.check));
      separator = ", ";
    }
  }
  const int code = ExitCodeOf(report);
  return out + ". Exit code " + std::to_string(code) + ": " + ExitMeaning(code, report.check) + ".\r\n";
}

std::string BadCommandLineText(std::string_view error, std::string_view timestamp) {
  return Heading(timestamp) + "the command line is not right: " + OneLine(error) + " Nothing was done. Exit code " +
         std::to_string(kExitBadCommandLine) + ".\r\n";
}

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line;
}

std::string StoppedText(std::string_view what, std::string_view timestamp) {
  return Heading(timestamp) + "stopped: " + OneLine(what) + " Exit code " + std::to_string(kExitFailed) + ".\r\n";
}

std::string DamagedMessage(const RunReport& report) {
  const std::size_t n = report.Count(UpgradeOutcome::Damaged);
  if (n == 0) return {};
  const bool one = n == 1;
  return Plural(n, "profile was", "profiles were") + " left exactly as " + (one ? "it was" : "they were") +
         ", because " + (one ? "it is" : "they are") + " damaged:\n\n" +
         Listed(report, UpgradeOutcome::Damaged) +
         "\nZelvane did not change " + (one ? "it" : "them") + ". Quindrel 2.0.12 may not read " +
         (one ? "it" : "them") + " correctly; restore " + (one ? "it" : "them") + " from a backup if you can.";
}

std::string LinksMessage(const RunReport& report) {
  const std::size_t n = report.Count(UpgradeOutcome::Redirected);
  if (n == 0) return {};
  const bool one = n == 1;
  return Plural(n, "profile was", "profiles were") + " left exactly as " + (one ? "it was, because its name leads" : "they were, because their names lead") +
         " to other files:\n\n" +
         Listed(report, UpgradeOutcome::Redirected) +
         "\nZelvane writes a profile's own file only, never one a link leads to.";
}

std::string CheckMessage(const RunReport& report) {
  if (report.end == RunEnd::NoFiles) return "No profiles were found in " + report.formatsFolder + ".";
  std::string out = "Zelvane checked " + Plural(report.profiles.size(), "profile", "profiles") + " in " +
                    report.formatsFolder + " and changed nothing.\n";
  const std::pair<UpgradeOutcome, const char*> sections[] = {
      {UpgradeOutcome::Upgraded, "Would be upgraded"},
      {UpgradeOutcome::Damaged, "Damaged, would be left as they are"},
      {UpgradeOutcome::Redirected, "Would be left as they are, since their names lead to other files"},
      {UpgradeOutcome::Failed, "Cannot be read"},
      {UpgradeOutcome::InUse, "In use by another program (close Quindrel and check again)"}};
  for (const auto& [outcome, heading] : sections)
    if (const std::size_t n = report.Count(outcome))
      out += "\n" + std::string(heading) + " (" + std::to_string(n) + "):\n" + Listed(report, outcome);
  out += "\nAlready in the 2.0.12 layout: " + std::to_string(report.Count(UpgradeOutcome::AlreadyCurrent)) +
         ". Needing no change: " + std::to_string(report.Count(UpgradeOutcome::NoChangeNeeded)) + ".";
  if (const std::string copies = CopiesMessage(report); !copies.empty()) out += "\n\n" + copies;
  return out;
}

std::string CopiesMessage(const RunReport& report) {
  std::string out;
  for (const UserCopy& c : report.copies)
    if (!c.unreachable.empty()) out += (out.empty() ? "" : "\n") + ("The copies of " + c.user + " were not reached: " + c.unreachable + ".");
  if (report.virtualised) out += (out.empty() ? "" : "\n\n") + VirtualisedText(report.check);
  if (report.othersUnread) out += (out.empty() ? "" : "\n\n") + OthersUnreadText(report.check);
  return out;
}

}  // namespace zelvane
