// Zelvane.exe: the removal helper when started as one; otherwise what the command line asks for,
// by default the main window and its message loop.

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <string>
#include <typeinfo>
#include <vector>

#include "platform/caption.h"
#include "platform/crash_policy.h"
#include "platform/platform.h"
#include "platform/removal.h"
#include "platform/system_win32.h"
#include "ui/main_window.h"
#include "upgrade/command_line_checks.h"
#include "upgrade/unattended.h"

namespace zelvane {
namespace {

// The program's own path as the system gives it, and its short form: what a launcher that did not
// quote it may begin the command line with.
std::vector<std::string> ProgramPaths() {
  try {
    const std::wstring path = ModulePath();
    std::vector<std::string> paths = {Narrow(path)};
    if (const std::wstring shortPath = ShortPathName(path); !shortPath.empty()) paths.push_back(Narrow(shortPath));
    return paths;
  } catch (const PlatformError&) {
    return {};  // the program's name is then the first word of the line, or what its quotes hold
  }
}

void ShowMessage(const std::string& text, UINT icon) {
  MessageBoxW(nullptr, Widen(text).c_str(), Widen(kCaption).c_str(), MB_OK | icon);
}

int RunWindow(HINSTANCE instance, int showCommand, const CommandLine& line, ReportWriter& writer) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  MainWindow window(instance, line, writer);
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

namespace __gnu_cxx {

// libstdc++'s default terminate handler, in the program's own words: the same lines on standard
// error, the exception's type named as the compiler names it rather than demangled, since the
// demangler alone would be a tenth of the program. A quiet run ends sooner (ShowNoFailureBoxes).
void __verbose_terminate_handler() {
  static bool called = false;
  if (called) {
    std::fputs("terminate called recursively\n", stderr);
    std::abort();
  }
  called = true;
  if (const std::type_info* type = abi::__cxa_current_exception_type()) {
    std::fputs("terminate called after throwing an instance of '", stderr);
    std::fputs(type->name(), stderr);
    std::fputs("'\n", stderr);
    try {
      throw;
    } catch (const std::exception& e) {
      std::fputs("  what():  ", stderr);
      std::fputs(e.what(), stderr);
      std::fputs("\n", stderr);
    } catch (...) {
    }
  } else {
    std::fputs("terminate called without an active exception\n", stderr);
  }
  std::abort();
}

}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace zelvane;
  CommandLine line = ParseCommandLine(Narrow(GetCommandLineW()), ProgramPaths());
  // Before anything else can fail: a quiet run shows no box, not even the system's.
  if (line.quiet)
    ShowNoFailureBoxes();
  else if (line.check)
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  if (DispatchOf(line) == Dispatch::RemovalHelper) {
    if (RunAsRemovalHelper(*line.removal)) return 0;
    line.removal.reset();
    line.error = UnknownSwitch(kRemovalSwitch);  // a line no copy of the program wrote
  }
  // A machine's run (elevated, or SYSTEM's) works in folders that users control: it follows no
  // junction or link that a user made, where Windows can refuse them.
  if (RightsOfThisRun().mayReadOthers) EnableRedirectionGuard();
  Platform& platform = SystemPlatform();
  // On every way out, what went to standard output is given its reader's time.
  const struct Finish {
    Platform& platform;
    ~Finish() { platform.FinishStandardOutput(ReportWriter::kReaderPatience); }
  } finish{platform};
  ReportWriter writer(platform);
  try {
    if (const std::string fault = PrepareCommandLine(platform, line, writer); !fault.empty()) line.error = fault;
    switch (DispatchOf(line)) {
      case Dispatch::RemovalHelper:  // answered above
      case Dispatch::BadLine:        // nothing is touched
        writer.WriteWhole(BadCommandLineText(line.error, platform.LocalTimestamp()));
        if (!line.quiet) ShowMessage(line.error + "\n\n" + Usage(), MB_ICONERROR);
        return kExitBadCommandLine;
      case Dispatch::Help:
        if (line.quiet)
          platform.WriteToStandardOutput(Usage());
        else
          ShowMessage(Usage(), MB_ICONINFORMATION);
        return kExitDone;
      case Dispatch::Unattended: {
        std::string box;
        const int code = RunUnattended(platform, writer, line, box);
        if (!line.quiet) ShowMessage(box, MB_ICONINFORMATION);
        return code;
      }
      case Dispatch::Window:
        return RunWindow(instance, showCommand, line, writer);
    }
    return kExitFailed;  // not reached: every case returns
  } catch (const std::exception& e) {
    writer.WriteWhole(StoppedText(e.what(), platform.LocalTimestamp()));
    if (!line.quiet) ShowFailure(nullptr, e.what());
    return kExitFailed;
  }
}
