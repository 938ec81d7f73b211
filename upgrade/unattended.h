#pragma once
// What Zelvane.exe does from its command line: the switches checked against the system, the log
// made ready, a run without the window, and the report delivered to the log and to a redirected
// standard output.

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "upgrade/command_line.h"
#include "upgrade/upgrade_run.h"

namespace zelvane {

// Checks what the command line names and makes both paths full: the folder must exist; the log
// must be a file (/log:nul is no log, another device is refused) outside the folder of the profiles
// the run works on, and writable: it is created when missing. The log is made ready even when
// something else is wrong, so that the fault can be written to it; a log that is refused is
// dropped. Returns the first fault of the command line (line.error first), or nothing.
std::string CheckCommandLineAndCreateLog(Platform& platform, CommandLine& line);

// The run the command line asks for, with the window's options.
RunOptions OptionsFor(const CommandLine& line);

// Runs without a window: nothing is shown, nothing is asked, the tool is never removed.
RunReport RunWithoutWindow(Platform& platform, const CommandLine& line);

// Appends `text` to the log, when there is one, and writes it to a redirected standard output.
// Throws PlatformError when the log cannot be written.
void DeliverReport(Platform& platform, const CommandLine& line, const std::string& text);

// Delivers `text` as DeliverReport does, never failing: for the report of a fault, when there is
// nothing more to be done if even that cannot be written.
void TryToDeliverReport(Platform& platform, const CommandLine& line, const std::string& text) noexcept;

}  // namespace zelvane
