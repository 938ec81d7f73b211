// Zelvane.exe: the removal helper when started as one; otherwise what the command line asks for,
// by default the main window and its message loop.

#include <windows.h>

#include <commctrl.h>

#include <exception>
#include <string>

#include "platform/platform.h"
#include "platform/text_win32.h"
#include "ui/main_window.h"
#include "upgrade/unattended.h"

namespace zelvane {
namespace {

void ShowMessage(const std::string& text, UINT icon) {
  MessageBoxW(nullptr, Widen(text).c_str(), main_window::kCaption, MB_OK | icon);
}

// A run from the command line: the report goes to the log and a redirected output; a check that
// is not quiet shows what it found.
int RunFromCommandLine(Platform& platform, const CommandLine& line) {
  const RunReport report = RunWithoutWindow(platform, line);
  DeliverReport(platform, line, ReportText(report, platform.LocalTimestamp()));
  if (!line.quiet) ShowMessage(CheckMessage(report), MB_ICONINFORMATION);
  return ExitCodeOf(report);
}

int RunWindow(HINSTANCE instance, int showCommand, const CommandLine& line) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  MainWindow window(instance, line);
  window.Create();
  window.Show(showCommand);

  MSG message;
  BOOL got;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (got == -1) return kExitFailed;
    if (!window.PreTranslate(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return window.ExitCode();
}

}  // namespace
}  // namespace zelvane

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace zelvane;
  CommandLine line;
  Platform& platform = SystemPlatform();
  try {
    if (RunAsRemovalHelper()) return 0;
    line = ParseCommandLine(Narrow(GetCommandLineW()));
    if (line.Unattended()) SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);  // no system box either
    line.error = CheckCommandLineAndCreateLog(platform, line);
    if (!line.error.empty()) {  // nothing is touched
      TryToDeliverReport(platform, line, BadCommandLineText(line.error, platform.LocalTimestamp()));
      if (!line.quiet) ShowMessage(line.error + "\n\n" + Usage(), MB_ICONERROR);
      return kExitBadCommandLine;
    }
    if (line.help) {
      if (line.quiet)
        platform.WriteToStandardOutput(Usage());
      else
        ShowMessage(Usage(), MB_ICONINFORMATION);
      return kExitDone;
    }
    if (line.Unattended()) return RunFromCommandLine(platform, line);
    return RunWindow(instance, showCommand, line);
  } catch (const std::exception& e) {
    TryToDeliverReport(platform, line, StoppedText(e.what(), platform.LocalTimestamp()));
    if (!line.quiet) ShowFailure(nullptr, e.what());
    return kExitFailed;
  }
}
