#include "upgrade/upgrade_run.h"

#include <set>

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

// The listing of `places[at]` failed: the run stops there, unless it had stopped already, and the
// report names the profiles not reached from fresh listings, where the folders can be listed again.
void ListingFailed(RunReport& report, Platform& platform, const PlatformError& e, const std::vector<Place>& places,
                   std::size_t at) {
  report.listingFailure = "could not " + e.Action() + ": " + e.Reason();
  if (!Over(report)) {
    report.end = RunEnd::Failed;
    report.failure = "The upgrade stopped: the profiles in " + places[at].folder + " could not be listed to the end.\n\n" +
                     e.what() + kHandledBefore;
  }
  for (; at < places.size(); ++at) NotReached(report, platform, places[at]);
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

  // The first profile of any of the places: none at all is "No files were found".
  std::size_t at = 0;
  std::unique_ptr<FileListing> listing;
  std::string name;
  try {
    for (; at < places.size() && name.empty(); ++at) name = (listing = platform.ListFiles(places[at].folder, ".qdx"))->Next();
    --at;
  } catch (const PlatformError& e) {
    ListingFailed(report, platform, e, places, at);
    return;
  }
  if (name.empty()) {
    sink.ShowWarning("No files were found", sink.Caption());
    return;
  }

  sink.DisableRunButton();
  ProfileUpgrader upgrader;
  Pacer pacer(sink, options.pace);
  try {  // only the listings throw in here: a profile's failure is kept in its entry
    for (;;) {
      const Place& place = places[at];
      for (; !name.empty(); name = listing->Next()) {
        ProfileReport& entry = report.profiles.emplace_back(name);
        entry.user = place.user;
        pacer.Begin(Shown(entry));
        const std::string failure = UpgradeInto(entry, upgrader, platform, place.folder + name, options.mode, pacer);
        settle();
        // A failure stops the run at an installed profile; a user's copy is that user's alone, and
        // the machine's run goes on to the others.
        if (!failure.empty() && !report.check && place.user.empty()) {
          pacer.ShowCurrent();
          report.end = RunEnd::Failed;
          report.failure = "The upgrade stopped at the profile \"" + Shown(entry) + "\".\n\n" + failure + kHandledBefore;
          break;
        }
        if (sink.StopRequested()) {
          report.end = RunEnd::Stopped;
          break;
        }
      }
      if (Over(report)) {
        for (name = listing->Next(); !name.empty(); name = listing->Next()) report.profiles.emplace_back(name).user = place.user;
        for (++at; at < places.size(); ++at) NotReached(report, platform, places[at]);
        break;
      }
      if (++at == places.size()) break;
      name = (listing = platform.ListFiles(places[at].folder, ".qdx"))->Next();
    }
  } catch (const PlatformError& e) {
    ListingFailed(report, platform, e, places, std::min(at, places.size() - 1));
  }
  if (report.end == RunEnd::Failed || report.end == RunEnd::Stopped) return;

  sink.SetStatusText("Done");
  report.end = RunEnd::Finished;
  for (const std::string& left : {DamagedMessage(report), LinksMessage(report)})
    if (!left.empty() && !report.check) sink.ShowWarning(left, sink.Caption());
  if (const std::string copied = CopiesMessage(report); !copied.empty() && !report.check)
    sink.ShowWarning(copied, sink.Caption());
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
