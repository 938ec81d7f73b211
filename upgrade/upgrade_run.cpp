#include "upgrade/upgrade_run.h"

#include <new>

#include "upgrade/upgrade_file.h"

namespace zelvane {

UpgradeFailure::UpgradeFailure(const std::string& fileName, const std::string& cause)
    : std::runtime_error("The upgrade stopped at the profile \"" + fileName + "\".\n\n" + cause +
                         "\n\nProfiles handled before it keep their new contents; the ones after "
                         "it were not touched.") {}

namespace {

// Lets the window paint and take input when `pace` says it is time, showing the profile in hand.
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

}  // namespace

std::string FormatsFolder(Platform& platform) {
  const char sep = platform.Separator();
  return platform.ProgramFolder() + sep + "appfiles" + sep + "formats" + sep;
}

RunEnd UpgradeRun(Platform& platform, ProgressSink& sink, const RunPace& pace) {
  const std::string folder = FormatsFolder(platform);
  const std::unique_ptr<FileListing> listing = platform.ListFiles(folder, ".qdx");
  std::string name = listing->Next();
  if (name.empty()) {
    sink.ShowWarning("No files were found", sink.Caption());
    return RunEnd::NoFiles;
  }

  sink.DisableRunButton();
  ProfileUpgrader upgrader;
  Pacer pacer(sink, pace);
  while (!name.empty()) {
    pacer.Begin(name);
    try {
      upgrader.Upgrade(platform, folder + name, UpgradeMode::Upgrade, &pacer);
    } catch (const std::bad_alloc&) {
      pacer.ShowCurrent();
      throw UpgradeFailure(name, "There is not enough memory to upgrade this profile. It was left as it was.");
    } catch (const std::exception& e) {
      pacer.ShowCurrent();
      throw UpgradeFailure(name, e.what());
    }
    if (sink.StopRequested()) return RunEnd::Stopped;
    name = listing->Next();
  }

  sink.SetStatusText("Done");
  if (!sink.AskYesNo("Delete this tool?", "Done")) return RunEnd::Kept;
  platform.RemoveAfterExit(platform.ProgramFolder() + platform.Separator() + platform.ProgramName() + ".exe");
  return RunEnd::RemovalArranged;
}

}  // namespace zelvane
