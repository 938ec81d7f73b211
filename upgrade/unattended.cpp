#include "upgrade/unattended.h"

namespace zelvane {
namespace {

// A window that is not there.
class NoWindow : public ProgressSink {
 public:
  void SetStatusText(const std::string&) override {}
  void DisableRunButton() override {}
  std::string Caption() override { return "Zelvane"; }
  void ShowWarning(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void PumpEvents() override {}
  bool StopRequested() override { return false; }
};

// True when `path` lies in `folder` or in a folder below it, however either is written: the
// folders are compared as the file system knows them.
bool IsIn(Platform& platform, const std::string& path, const std::string& folder) {
  for (std::size_t end = path.find_last_of(platform.Separator()); end != std::string::npos && end > 0;
       end = path.find_last_of(platform.Separator(), end - 1))
    if (platform.IsSameFolder(path.substr(0, end + 1), folder)) return true;
  return false;
}

// What is wrong with the log the command line names, or nothing; a log that is not to be written
// is dropped.
std::string CheckLog(Platform& platform, CommandLine& line) {
  const std::string named = *line.log;
  const LogTarget target = LogTargetOf(named);
  line.log.reset();
  if (target == LogTarget::Nothing) return {};
  if (target == LogTarget::Device) return "The log \"" + named + "\" is a device, not a file.";
  const std::string log = platform.FullPath(named);
  const std::string formats = FormatsFolder(platform, line.folder.value_or(""));
  if (IsIn(platform, log, formats))
    return "The log \"" + log + "\" is in the folder of the profiles, \"" + formats +
           "\": a log there could be taken for a profile.";
  try {
    platform.AppendToFile(log, "");
  } catch (const PlatformError& e) {
    return "The log \"" + log + "\" cannot be written: could not " + e.Action() + ". " + e.Reason();
  }
  line.log = log;
  return {};
}

}  // namespace

std::string CheckCommandLineAndCreateLog(Platform& platform, CommandLine& line) {
  std::string fault = line.error;
  const auto refuse = [&fault](std::string what) {
    if (fault.empty()) fault = std::move(what);
  };
  if (line.folder) {
    line.folder = platform.FullPath(*line.folder);
    if (!platform.IsFolder(*line.folder)) refuse("The folder \"" + *line.folder + "\" does not exist.");
  }
  if (line.log) refuse(CheckLog(platform, line));
  return fault;
}

RunOptions OptionsFor(const CommandLine& line) {
  RunOptions options;
  options.quindrelFolder = line.folder.value_or("");
  options.mode = line.check ? UpgradeMode::Check : UpgradeMode::Upgrade;
  options.offerRemoval = !line.Unattended();
  return options;
}

RunReport RunWithoutWindow(Platform& platform, const CommandLine& line) {
  NoWindow none;
  return UpgradeRun(platform, none, OptionsFor(line));
}

void DeliverReport(Platform& platform, const CommandLine& line, const std::string& text) {
  platform.WriteToStandardOutput(text);
  if (line.log) platform.AppendToFile(*line.log, text);
}

void TryToDeliverReport(Platform& platform, const CommandLine& line, const std::string& text) noexcept {
  try {
    DeliverReport(platform, line, text);
  } catch (...) {
  }
}

}  // namespace zelvane
