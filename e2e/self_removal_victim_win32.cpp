// Stands in for the tool in self_removal_test_win32 and the end-to-end tests. Its command line is
// read as the tool reads its own: started as the removal helper it does that work and ends with 2,
// as the tool ends at once then (trying a held file again for ZELVANE_TEST_PATIENCE_MS when that
// is set, rather than the tool's ten seconds); a line with the helper's switch that is not to be
// trusted ends it with 5 at once, as the tool refuses it. Otherwise it asks for its own executable
// to be removed once it has ended, as the tool does after "Delete this tool?", writes the outcome
// to the existing file named by its one argument, and ends with 0 (arranged) or 1 (failed).
//
// The outcome reads "arranged", or "failed" followed by the error's action, path and reason on
// lines of their own.

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cwchar>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/removal.h"
#include "platform/system_win32.h"
#include "upgrade/command_line.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const zelvane::CommandLine line = zelvane::ParseCommandLine(zelvane::Narrow(GetCommandLineW()));
  if (zelvane::DispatchOf(line) == zelvane::Dispatch::RemovalHelper) {
    wchar_t patience[16] = {};
    const bool given = GetEnvironmentVariableW(L"ZELVANE_TEST_PATIENCE_MS", patience, 16) - 1u < 15u;
    const std::chrono::milliseconds wait(given ? std::wcstol(patience, nullptr, 10) : 10000);
    return zelvane::RunAsRemovalHelper(*line.removal, wait) ? 2 : 5;
  }
  if (line.error == zelvane::UnknownSwitch(zelvane::kRemovalSwitch)) return 5;  // as the tool refuses it

  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&LocalFree)> args(CommandLineToArgvW(GetCommandLineW(), &count),
                                                           &LocalFree);
  if (!args || count != 2) return 3;
  zelvane::Platform& platform = zelvane::SystemPlatform();
  std::string outcome = "arranged";
  int code = 0;
  try {
    platform.RemoveProgramAfterExit();
  } catch (const zelvane::PlatformError& e) {
    outcome = "failed\n" + e.Action() + "\n" + e.Path() + "\n" + e.Reason();
    code = 1;
  }
  try {
    const auto file = platform.OpenProfile(zelvane::Narrow(args.get()[1]), zelvane::OpenFor::Writing);
    file->WriteAt(0, outcome);
    file->Close();
  } catch (const zelvane::PlatformError&) {
    return 4;
  }
  return code;
}
