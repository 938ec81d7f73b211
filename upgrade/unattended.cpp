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

}  // namespace

std::string CheckCommandLine(Platform& platform, CommandLine& line) {
  if (line.folder) {
    line.folder = platform.FullPath(*line.folder);
    if (!platform.IsFolder(*line.folder)) return "The folder \"" + *line.folder + "\" does not exist.";
  }
  if (line.log) {
    line.log = platform.FullPath(*line.log);
    try {
      platform.AppendToFile(*line.log, "");
    } catch (const PlatformError& e) {
      const std::string log = *line.log;
      line.log.reset();  // nothing goes there
      return "The log \"" + log + "\" cannot be written: could not " + e.Action() + ". " + e.Reason();
    }
  }
  return {};
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

}  // namespace zelvane
