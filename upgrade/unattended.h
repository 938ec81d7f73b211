#pragma once
// What Zelvane.exe does with its command line: the switches checked against the system, the
// report of each run written as the run goes, to the log and to a redirected standard output,
// and a run without the window.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "upgrade/command_line.h"
#include "upgrade/upgrade_run.h"

namespace zelvane {

// Where the reports of the program go as they are made: a redirected standard output, and the
// log the command line names, held open from the program's start to its end.
//
// A run's report begins with its heading, written to the log and flushed before the first
// profile is opened: a log that cannot take it stops the run before anything is done. A write
// that fails later changes nothing about the run: what that write left is taken back while the log
// ends with it alone (another run may append to the same log), nothing more is written to it
// during that run, and the report's end says on standard output where it stops and why
// (RunReport::logFailure). Each text goes to the log before standard output, and a standard
// output that nobody reads is given up after kReaderPatience at the run's end, which the log then
// says. A report begins on a
// line of its own, whatever the log ended with.
class ReportWriter {
 public:
  explicit ReportWriter(Platform& platform) : platform_(platform) {}

  // Opens the log at `path` (a full path), creating it when there is none. Throws PlatformError.
  void OpenLog(const std::string& path);
  void CloseLog();
  // The file the log is. Throws PlatformError.
  FileIdentity LogIdentity() { return log_->Identity(); }

  // How long the end of a report waits for a reader of standard output to take it.
  static constexpr std::chrono::milliseconds kReaderPatience{5000};

  // A report of one piece (a fault that ends the program) to both, as far as it goes: never fails.
  void WriteWhole(std::string_view text) noexcept;

  // Runs `options` with its report written as it goes. Throws PlatformError, having done nothing,
  // when the log cannot take the heading.
  RunReport Run(ProgressSink& sink, RunOptions options);

 private:
  // Appends `text` to the log, unless there is none or it failed before in this run; a failure
  // ends the log before `where` (logFailure_ says so) and throws PlatformError.
  void AppendToLog(std::string_view text, std::string_view where, bool flush);
  // Writes `text` to standard output and the log, never failing.
  void Write(std::string_view text, std::string_view where, bool flush) noexcept;

  Platform& platform_;
  std::string logPath_;
  std::unique_ptr<AppendFile> log_;
  std::string logFailure_;  // the log of the current run failed: where it stops, and why
};

// Checks what the command line names and makes both paths full, as the system means a path a
// person typed: the folder must exist; the log must be a file (/log:nul is no log; a device or a
// stream of a file is refused) that is neither in the folder of the profiles the run works on nor
// the program itself, and must open for appending: it is opened in `writer`, and created when
// missing. Once open, and before anything is written to it, the file it is must be neither the
// program nor a profile, whatever name led to it. The log is opened even when something else is wrong, so that the fault can be written
// to it; a log that is refused or is no log is dropped from `line`. Returns the first fault of the
// command line (line.error first), or nothing.
std::string PrepareCommandLine(Platform& platform, CommandLine& line, ReportWriter& writer);

// The run the command line asks for, with the window's options.
RunOptions OptionsFor(const CommandLine& line);

// Runs without a window (/quiet, /check): nothing is shown, nothing is asked, the tool is never
// removed. Returns the exit code, which follows what became of the profiles alone; `box` is what
// a check that is not quiet shows then.
int RunUnattended(Platform& platform, ReportWriter& writer, const CommandLine& line, std::string& box);

}  // namespace zelvane
