#include "upgrade/report_writer.h"

#include "platform/text.h"

namespace zelvane {

void ReportWriter::OpenLog(const std::string& path) {
  log_ = platform_.OpenForAppending(path);
  logPath_ = path;
}

void ReportWriter::DropLog() {
  if (log_) log_->RemoveIfCreated();
  log_.reset();
  logPath_.clear();
}

void ReportWriter::WriteWhole(std::string_view text) noexcept {
  Write(text, "its end", true);
  platform_.FinishStandardOutput(kReaderPatience);
}

void ReportWriter::AppendToLog(std::string_view text, std::string_view where, bool flush) {
  if (!log_ || !logFailure_.empty()) return;
  try {
    log_->Append(text, flush);
  } catch (const PlatformError& e) {
    logFailure_ = OneLine("The log \"" + logPath_ + "\" is incomplete: " +
                          (log_->EndsWhole() ? "it ends before " : "it may end inside, or after other lines in, ") +
                          std::string(where) + " (could not " + e.Action() + ": " + e.Reason() + ")");
    throw;
  }
}

// The log first: a standard output that its reader is slow to take must not keep a line from it.
void ReportWriter::Write(std::string_view text, std::string_view where, bool flush) noexcept {
  std::string shown;
  try {
    shown = ValidUtf8(text);  // a name may hold a surrogate without its pair
    AppendToLog(shown, where, flush);
  } catch (...) {
    // Noted in logFailure_.
  }
  try {
    platform_.WriteToStandardOutput(shown);
  } catch (...) {
    // Noted in logFailure_ when the log failed; a report that cannot even be put together
    // changes nothing about the run.
  }
  if (log_ && !lockTold_ && log_->LockAbandoned()) {
    lockTold_ = true;
    Write("Another run has held the lock of the log for more than 10 seconds: this run appends to it without "
          "waiting from here on.\r\n", "a line about its lock", false);
  }
}

RunReport ReportWriter::Run(ProgressSink& sink, RunOptions options) {
  logFailure_.clear();
  options.begun = [this](const RunReport& report) {  // before the first profile is opened
    const std::string heading = ValidUtf8(ReportHeading(report, platform_.LocalTimestamp()));
    // A report begins on a line of its own, whatever the log ended with.
    const bool glued = log_ && !log_->EndsWithLineBreak();
    try {
      AppendToLog((glued ? "\r\n" : "") + heading, "its heading", true);  // nothing more goes to a log that refuses it
    } catch (const PlatformError&) {
      if (log_) log_->RemoveIfCreated();
      throw;
    }
    platform_.WriteToStandardOutput(heading);
  };
  options.settled = [this](const RunReport& report, const ProfileReport& profile) {
    Write(ReportLine(report.check, profile), "the line of \"" + Shown(profile) + "\"", false);
  };
  RunReport report = UpgradeRun(platform_, sink, options);
  Write(ReportEnd(report), "its summary", true);
  report.logFailure = logFailure_;
  if (!logFailure_.empty()) platform_.WriteToStandardOutput(logFailure_ + "\r\n");
  if (!platform_.FinishStandardOutput(kReaderPatience)) {
    try {
      AppendToLog("Standard output was not read, so the report there ends early; this log holds all of it.\r\n",
                  "its end", true);
    } catch (const PlatformError&) {
      // The log has said what it could.
    }
  }
  return report;
}

}  // namespace zelvane
