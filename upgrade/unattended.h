#pragma once
// The run without a window that /quiet and /check ask for.

#include <string>

#include "platform/platform.h"
#include "upgrade/command_line.h"
#include "upgrade/report_writer.h"

namespace zelvane {

// Runs without a window (/quiet, /check): nothing is shown, nothing is asked, the tool is never
// removed. Returns the exit code, which follows what became of the profiles alone; `box` is what
// a check that is not quiet shows then.
int RunUnattended(Platform& platform, ReportWriter& writer, const CommandLine& line, std::string& box);

}  // namespace zelvane
