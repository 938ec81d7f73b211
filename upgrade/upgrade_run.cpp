#include "upgrade/upgrade_run.h"

#include <set>
#include <span>

namespace zelvane {
namespace {

// Lets the window paint and take input when the pace says it is time, showing the profile in hand.
class Pacer : public ReadProgress {
 public:
  Pacer(ProgressSink& sink, const RunPace& pace) : sink_(sink), pace_(pace), last_(pace.now() - pace.interval) {}

  void Begin(const std::string& name) {
    current_ = name;
    OnRead();
  }
  void OnRead() override {
    if (pace_.now() - last_ < pace_.interval) return;
    ShowCurrent();
    sink_.PumpEvents();
    last_ = pace_.now();  // from the end of the pump: a slow one does not make every profile due
  }
  void ShowCurrent() {
    if (shown_ == current_) return;
    shown_ = current_;
    sink_.SetStatusText(shown_);
  }

 private:
  ProgressSink& sink_;
  const RunPace& pace_;
  RunPace::Clock::time_point last_;
  std::string current_, shown_;
};

// Upgrades one profile into `entry`; on a failure, returns what the user is to be told.
std::string UpgradeInto(ProfileReport& entry, ProfileUpgrader& upgrader, Platform& platform, const std::string& path,
                        UpgradeMode mode, Pacer& pacer) {
  std::string told;
  try {
    const UpgradeResult result = upgrader.Upgrade(platform, path, mode, &pacer);
    entry.outcome = result.outcome;
    entry.damage = result.damage;
    return {};
  } catch (const PlatformError& e) {
    if (e.Why() == Cause::Link) {  // never read or written: left as it was, and the run goes on
      entry.outcome = UpgradeOutcome::Redirected;
      entry.failure = e.Reason();
      return {};
    }
    entry.failure = "could not " + e.Action() + ": " + e.Reason();
    told = e.what();
    if (e.Why() == Cause::InUse) {
      entry.outcome = UpgradeOutcome::InUse;
      return told + "\n\nAnother program is using it: close Quindrel, then run Zelvane again.";
    }
  } catch (const std::exception& e) {
    told = entry.failure = e.what();
  }
  entry.outcome = UpgradeOutcome::Failed;
  return told;
}

const char kHandledBefore[] = "\n\nProfiles handled before it keep their new contents; the ones after it were not touched.";

// A folder the run goes over: the formats folder, or a user's own copy of it.
struct Place {
  std::string folder;
  std::string user;  // whose copy; empty: the installed folder
};

bool Over(const RunReport& report) { return report.end == RunEnd::Failed || report.end == RunEnd::Stopped; }

// The profiles of `place` that the report does not name yet, as not reached, as far as the folder
// can be listed.
void NotReached(RunReport& report, Platform& platform, const Place& place) {
  try {
    std::set<std::string> seen;
    for (const ProfileReport& p : report.profiles)
      if (p.user == place.user) seen.insert(p.name);
    const std::unique_ptr<FileListing> listing = platform.ListFiles(place.folder, ".qdx");
    for (std::string name = listing->Next(); !name.empty(); name = listing->Next())
      if (!seen.contains(name)) report.profiles.emplace_back(name).user = place.user;
  } catch (const PlatformError&) {
    // Still not listed: the report tells of the failure and names what it knows.
  }
}

// The listing of the first of `rest` failed: the run stops there, unless it had stopped already,
// and the report names the profiles not reached from fresh listings, where the folders can be
// listed again.
void ListingFailed(RunReport& report, Platform& platform, const PlatformError& e, std::span<const Place> rest) {
  report.listingFailure = "could not " + e.Action() + ": " + e.Reason();
  if (!Over(report)) {
    report.end = RunEnd::Failed;
    report.failure = "The upgrade stopped: the profiles in " + rest.front().folder + " could not be listed to the end.\n\n" +
                     e.what() + kHandledBefore;
  }
  for (const Place& place : rest) NotReached(report, platform, place);
}

}  // namespace

std::string FormatsFolder(Platform& platform, const std::string& quindrelFolder) {
  const char sep = platform.Separator();
  std::string folder = quindrelFolder.empty() ? platform.ProgramFolder() : quindrelFolder;
  if (folder.empty() || folder.back() != sep) folder += sep;  // "C:\" and "C:\Quindrel\" end in one already
  return folder + "appfiles" + sep + "formats" + sep;
}

namespace {

// Tells the run's options of each entry of the report that it has not told of yet.
class Settler {
 public:
  Settler(const RunReport& report, const RunOptions& options) : report_(report), options_(options) {}
  void operator()() {
    for (; told_ < report_.profiles.size(); ++told_) options_.settled(report_, report_.profiles[told_]);
  }

 private:
  const RunReport& report_;
  const RunOptions& options_;
  std::size_t told_ = 0;
};

// What a run needs at hand as it goes from profile to profile.
struct Walk {
  RunReport& report;
  Platform& platform;
  ProgressSink& sink;
  const RunOptions& options;
  Settler& settle;
  ProfileUpgrader upgrader{};
  Pacer pacer{sink, options.pace};
};

// Upgrades the profiles of `place` that `listing` names, `name` first, until a failure or a stop
// ends the run, which then names the rest of the listing as not reached. Throws PlatformError
// when the listing fails.
void UpgradePlace(Walk& walk, const Place& place, FileListing& listing, std::string name) {
  RunReport& report = walk.report;
  for (; !name.empty(); name = listing.Next()) {
    ProfileReport& entry = report.profiles.emplace_back(name);
    entry.user = place.user;
    walk.pacer.Begin(Shown(entry));
    const std::string failure =
        UpgradeInto(entry, walk.upgrader, walk.platform, place.folder + name, walk.options.mode, walk.pacer);
    walk.settle();
    // A failure stops the run at an installed profile; a user's copy is that user's alone, and
    // the machine's run goes on to the others.
    if (!failure.empty() && !report.check && place.user.empty()) {
      walk.pacer.ShowCurrent();
      report.end = RunEnd::Failed;
      report.failure = "The upgrade stopped at the profile \"" + Shown(entry) + "\".\n\n" + failure + kHandledBefore;
      break;
    }
    if (walk.sink.StopRequested()) {
      report.end = RunEnd::Stopped;
      break;
    }
  }
  if (Over(report))
    for (name = listing.Next(); !name.empty(); name = listing.Next()) report.profiles.emplace_back(name).user = place.user;
}

void Run(RunReport& report, Platform& platform, ProgressSink& sink, const RunOptions& options, Settler& settle) {
  report.formatsFolder = FormatsFolder(platform, options.quindrelFolder);
  report.check = options.mode == UpgradeMode::Check;
  const FolderCopies copies = platform.CopiesOf(report.formatsFolder);
  report.virtualised = copies.virtualised;
  report.othersUnread = copies.othersUnread;
  report.copies = copies.users;
  std::vector<Place> places = {{report.formatsFolder, ""}};
  for (const UserCopy& c : copies.users)
    if (c.unreachable.empty()) places.push_back({c.folder, c.user});
  options.begun(report);

  // Each place in turn, listed once the run reaches it; the button goes grey at the first profile
  // found, and none in any place is "No files were found".
  Walk walk{report, platform, sink, options, settle};
  bool found = false;
  for (std::span<const Place> rest = places; !rest.empty(); rest = rest.subspan(1)) {
    try {
      const std::unique_ptr<FileListing> listing = platform.ListFiles(rest.front().folder, ".qdx");
      std::string name = listing->Next();
      if (!name.empty() && !found) sink.DisableRunButton();
      found = found || !name.empty();
      UpgradePlace(walk, rest.front(), *listing, std::move(name));
    } catch (const PlatformError& e) {  // only a listing throws here: a profile's failure is kept in its entry
      ListingFailed(report, platform, e, rest);
      return;
    }
    if (Over(report)) {
      for (const Place& later : rest.subspan(1)) NotReached(report, platform, later);
      return;
    }
  }
  if (!found) {
    sink.ShowWarning("No files were found", sink.Caption());
    return;
  }

  sink.SetStatusText("Done");
  report.end = RunEnd::Finished;
  for (const std::string& warning : {DamagedMessage(report), LinksMessage(report), CopiesMessage(report)})
    if (!warning.empty() && !report.check) sink.ShowWarning(warning, sink.Caption());
  if (!options.offerRemoval || report.check) return;
  if (!sink.AskYesNo("Delete this tool?", "Done")) {
    report.removal = Removal::Kept;
    return;
  }
  try {
    platform.RemoveProgramAfterExit();
    report.removal = Removal::Arranged;
  } catch (const PlatformError& e) {
    sink.ShowWarning("Zelvane could not remove itself, and was left where it is.\n\n" + std::string(e.what()) +
                         "\n\nYou can delete it yourself.",
                     sink.Caption());
    report.removal = Removal::Refused;
  }
}

}  // namespace

RunReport UpgradeRun(Platform& platform, ProgressSink& sink, const RunOptions& options) {
  RunReport report;
  Settler settle(report, options);
  Run(report, platform, sink, options, settle);
  settle();
  return report;
}

}  // namespace zelvane
