// Zelvane.exe: the removal helper when started as one; otherwise what the command line asks for,
// by default the main window and its message loop.

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/text_win32.h"
#include "ui/main_window.h"
#include "upgrade/unattended.h"

namespace zelvane {
namespace {

// The arguments after the program's name, as Windows splits them.
std::vector<std::string> Arguments() {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&LocalFree)> args(CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  std::vector<std::string> arguments;
  for (int i = 1; args && i < count; ++i) arguments.push_back(Narrow(args.get()[i]));
  return arguments;
}

void ShowMessage(const std::string& text, UINT icon) {
  MessageBoxW(nullptr, Widen(text).c_str(), L"Zelvane", MB_OK | icon);
}

// A run from the command line: the report goes to the log and a redirected output; a check that
// is not quiet shows what it found.
int RunFromCommandLine(Platform& platform, const CommandLine& line) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);  // no system box waits for an answer
  RunReport report;
  try {
    report = RunWithoutWindow(platform, line);
    DeliverReport(platform, line, ReportText(report, platform.LocalTimestamp()));
  } catch (const std::exception& e) {
    std::string what = e.what();
    for (char& c : what)
      if (c == '\n' || c == '\r') c = ' ';
    try {
      DeliverReport(platform, line, platform.LocalTimestamp() + "  Zelvane stopped: " + what + " Exit code 1.\r\n");
    } catch (const std::exception&) {
    }
    if (!line.quiet) ShowMessage(e.what(), MB_ICONERROR);
    return kExitFailed;
  }
  if (!line.quiet) ShowMessage(CheckMessage(report), MB_ICONINFORMATION);
  return ExitCodeOf(report);
}

int RunWindow(HINSTANCE instance, int showCommand, CommandLine line) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  MainWindow window(instance, std::move(line));
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
  return static_cast<int>(message.wParam);
}

}  // namespace
}  // namespace zelvane

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace zelvane;
  try {
    if (RunAsRemovalHelper()) return 0;

    Platform& platform = SystemPlatform();
    CommandLine line = ParseCommandLine(Arguments());
    if (line.error.empty() && !line.help) line.error = CheckCommandLine(platform, line);
    if (!line.error.empty()) {  // nothing is touched
      try {
        DeliverReport(platform, line, BadCommandLineText(line.error, platform.LocalTimestamp()));
      } catch (const std::exception&) {
      }
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
    return RunWindow(instance, showCommand, std::move(line));
  } catch (const std::exception& e) {
    ShowFailure(nullptr, e.what());
    return kExitFailed;
  }
}
