#include "upgrade/unattended.h"

#include "platform/caption.h"
#include "upgrade/command_line_checks.h"

namespace zelvane {
namespace {

// A window that is not there.
class NoWindow : public ProgressSink {
 public:
  void SetStatusText(const std::string&) override {}
  void DisableRunButton() override {}
  std::string Caption() override { return kCaption; }
  void ShowWarning(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void PumpEvents() override {}
  bool StopRequested() override { return false; }
};

}  // namespace

int RunUnattended(Platform& platform, ReportWriter& writer, const CommandLine& line, std::string& box) {
  NoWindow none;
  RunReport report;
  try {
    report = writer.Run(none, OptionsFor(line));
  } catch (const PlatformError& e) {
    box = CannotWrite(line.log.value_or(""), e);
    writer.WriteWhole(BadCommandLineText(box, platform.LocalTimestamp()));
    return kExitBadCommandLine;
  }
  box = CheckMessage(report) + (report.logFailure.empty() ? "" : "\n\n" + report.logFailure);
  return ExitCodeOf(report);
}

}  // namespace zelvane
