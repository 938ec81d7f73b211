#pragma once
// What Zelvane.exe does from its command line: the switches checked against the system, a run
// without the window, and the report delivered to the log and to a redirected standard output.

#include <string>

#include "platform/platform.h"
#include "upgrade/command_line.h"
#include "upgrade/upgrade_run.h"

namespace zelvane {

// Checks what the command line names: the folder must exist, the log must be writable (it is
// created when missing). Makes both full paths. Returns what is wrong, or nothing.
std::string CheckCommandLine(Platform& platform, CommandLine& line);

// The run the command line asks for, with the window's options.
RunOptions OptionsFor(const CommandLine& line);

// Runs without a window: nothing is shown, nothing is asked, the tool is never removed.
RunReport RunWithoutWindow(Platform& platform, const CommandLine& line);

// Appends `text` to the log, when there is one, and writes it to a redirected standard output.
// Throws PlatformError when the log cannot be written.
void DeliverReport(Platform& platform, const CommandLine& line, const std::string& text);

}  // namespace zelvane
