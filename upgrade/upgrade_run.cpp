#include "upgrade/upgrade_run.h"

#include <new>

#include "upgrade/upgrade_file.h"

namespace zelvane {

UpgradeFailure::UpgradeFailure(const std::string& fileName, const std::string& cause)
    : std::runtime_error("The upgrade stopped at the profile \"" + fileName + "\".\n\n" + cause +
                         "\n\nProfiles handled before it keep their new contents; the ones after "
                         "it were not touched.") {}

std::string FormatsFolder(Platform& platform) {
  const char sep = platform.Separator();
  return platform.ProgramFolder() + sep + "appfiles" + sep + "formats" + sep;
}

RunEnd UpgradeRun(Platform& platform, ProgressSink& sink) {
  const std::string folder = FormatsFolder(platform);
  const std::unique_ptr<FileListing> listing = platform.ListFiles(folder, ".qdx");
  std::string name = listing->Next();
  if (name.empty()) {
    sink.ShowWarning("No files were found", sink.Caption());
    return RunEnd::NoFiles;
  }

  sink.DisableRunButton();
  while (!name.empty()) {
    sink.PumpEvents();
    if (sink.StopRequested()) return RunEnd::Stopped;
    sink.SetStatusText(name);
    try {
      UpgradeProfileFile(platform, folder + name);
    } catch (const std::bad_alloc&) {
      throw UpgradeFailure(name, "There is not enough memory to upgrade this profile. It was left as it was.");
    } catch (const std::exception& e) {
      throw UpgradeFailure(name, e.what());
    }
    name = listing->Next();
  }

  sink.SetStatusText("Done");
  if (!sink.AskYesNo("Delete this tool?", "Done")) return RunEnd::Kept;
  platform.RemoveAfterExit(platform.ProgramFolder() + platform.Separator() + platform.ProgramName() + ".exe");
  return RunEnd::RemovalArranged;
}

}  // namespace zelvane
