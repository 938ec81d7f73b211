#include "upgrade/upgrade_run.h"

#include <new>

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

ProfileState StateOf(const UpgradeResult& result) {
  if (result.outcome == UpgradeOutcome::Upgraded)
    return result.written ? ProfileState::Upgraded : ProfileState::NoChangeNeeded;
  switch (result.reason) {
    case SkipReason::AlreadyCurrent: return ProfileState::AlreadyCurrent;
    case SkipReason::Damaged: return ProfileState::Damaged;
    case SkipReason::None:
    case SkipReason::BlankTail: break;
  }
  return ProfileState::NoChangeNeeded;
}

// Upgrades one profile into `entry`; on a failure, returns what the user is to be told.
std::string Handle(ProfileUpgrader& upgrader, Platform& platform, const std::string& path, UpgradeMode mode,
                   Pacer& pacer, ProfileReport& entry) {
  std::string told;
  try {
    const UpgradeResult result = upgrader.Upgrade(platform, path, mode, &pacer);
    entry.state = StateOf(result);
    entry.damage = result.damage;
    return {};
  } catch (const std::bad_alloc&) {
    told = entry.failure = "There is not enough memory to upgrade this profile. It was left as it was.";
  } catch (const PlatformError& e) {
    entry.failure = "could not " + e.Action() + ": " + e.Reason();
    told = e.what();
  } catch (const std::exception& e) {
    told = entry.failure = e.what();
  }
  entry.state = ProfileState::Failed;
  return told;
}

}  // namespace

UpgradeFailure::UpgradeFailure(const std::string& fileName, const std::string& cause)
    : std::runtime_error("The upgrade stopped at the profile \"" + fileName + "\".\n\n" + cause +
                         "\n\nProfiles handled before it keep their new contents; the ones after "
                         "it were not touched.") {}

std::string FormatsFolder(Platform& platform, const std::string& quindrelFolder) {
  const char sep = platform.Separator();
  return (quindrelFolder.empty() ? platform.ProgramFolder() : quindrelFolder) + sep + "appfiles" + sep + "formats" +
         sep;
}

RunReport UpgradeRun(Platform& platform, ProgressSink& sink, const RunOptions& options) {
  RunReport report;
  report.formatsFolder = FormatsFolder(platform, options.quindrelFolder);
  report.check = options.mode == UpgradeMode::Check;
  const std::unique_ptr<FileListing> listing = platform.ListFiles(report.formatsFolder, ".qdx");
  std::string name = listing->Next();
  if (name.empty()) {
    sink.ShowWarning("No files were found", sink.Caption());
    return report;
  }

  sink.DisableRunButton();
  ProfileUpgrader upgrader;
  Pacer pacer(sink, options.pace);
  const auto notReached = [&](std::string next) {
    for (; !next.empty(); next = listing->Next()) report.profiles.emplace_back(next);
    return report;
  };
  for (; !name.empty(); name = listing->Next()) {
    pacer.Begin(name);
    ProfileReport& entry = report.profiles.emplace_back(name);
    const std::string failure = Handle(upgrader, platform, report.formatsFolder + name, options.mode, pacer, entry);
    if (!failure.empty() && !report.check) {
      pacer.ShowCurrent();
      report.end = RunEnd::Failed;
      report.failure = UpgradeFailure(name, failure).what();
      return notReached(listing->Next());
    }
    if (sink.StopRequested()) {
      report.end = RunEnd::Stopped;
      return notReached(listing->Next());
    }
  }

  sink.SetStatusText("Done");
  report.end = RunEnd::Finished;
  if (const std::string damaged = DamagedMessage(report); !damaged.empty() && !report.check)
    sink.ShowWarning(damaged, sink.Caption());
  if (!options.offerRemoval || report.check) return report;
  if (!sink.AskYesNo("Delete this tool?", "Done")) {
    report.end = RunEnd::Kept;
    return report;
  }
  try {
    platform.RemoveProgramAfterExit();
    report.end = RunEnd::RemovalArranged;
  } catch (const PlatformError& e) {
    sink.ShowWarning("Zelvane could not remove itself, and was left where it is.\n\n" + std::string(e.what()) +
                         "\n\nYou can delete it yourself.",
                     sink.Caption());
    report.end = RunEnd::RemovalRefused;
  }
  return report;
}

}  // namespace zelvane
