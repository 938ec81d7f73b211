#pragma once
// The command line held to the system it runs on: the folder it names must exist, and the log must
// be a file of its own, opened before anything is done.

#include <string>

#include "platform/platform.h"
#include "upgrade/command_line.h"
#include "upgrade/report_writer.h"
#include "upgrade/upgrade_run.h"

namespace zelvane {

// Checks what the command line names and makes both paths full, as the system means a path a person
// typed: the folder must exist; the log must be a file (/log:nul is no log; a device or a stream of
// a file is refused) that is neither in the folder of the profiles the run works on nor the program
// itself, and must open for appending: it is opened in `writer`, and created when missing. Once
// open, and before anything is written to it, the file it is must be neither the program nor a
// profile, whatever name led to it. The log is opened even when something else is wrong, so that
// the fault can be written to it; a log that is refused or is no log is dropped from `line`.
// Returns the first fault of the command line (line.error first), or nothing.
std::string PrepareCommandLine(Platform& platform, CommandLine& line, ReportWriter& writer);

// The run the command line asks for, with the window's options.
RunOptions OptionsFor(const CommandLine& line);

// What a log that cannot be written is told as.
std::string CannotWrite(const std::string& log, const PlatformError& e);

}  // namespace zelvane
