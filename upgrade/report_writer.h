#pragma once
// Where the reports of the program go as they are made: a redirected standard output, and the log
// the command line names, held open from the program's start to its end. The window and the run
// without a window both write through it.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "upgrade/upgrade_run.h"

namespace zelvane {

// A run's report begins with its heading, on a line of its own whatever the log ended with,
// written to the log and flushed before the first profile is opened: a log that cannot take it
// stops the run before anything is done. A write that fails later changes nothing about the run:
// what that write left is taken back while the log ends with it alone (another run may append to
// the same log), nothing more is written to it during that run, and the report's end says on
// standard output where it stops and why (RunReport::logFailure). Each text goes to the log before
// standard output, and a standard output that nobody reads is given up after kReaderPatience at
// the run's end, which the log then says.
class ReportWriter {
 public:
  explicit ReportWriter(Platform& platform) : platform_(platform) {}

  // Opens the log at `path` (a full path), creating it when there is none. Throws PlatformError.
  void OpenLog(const std::string& path);
  // Closes the log, removing it when its open created it and nothing was written to it.
  void DropLog();
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
  bool lockTold_ = false;   // the log says that another run held its lock too long
};

}  // namespace zelvane
