// The command line, as scripts, batch files and installers write it.

#include "upgrade/command_line.h"

#include <gtest/gtest.h>

#include "testing/command_line_rows.h"
#include "upgrade/run_report.h"

namespace zelvane {
namespace {

// The switches a command line turned on, or its first fault, in the form of the rows' `read`.
std::string Read(const CommandLine& line) {
  if (!line.error.empty()) return "error: " + line.error + (line.quiet ? " [quiet]" : "");
  std::string out;
  if (line.help) out += " help";
  if (line.quiet) out += " quiet";
  if (line.check) out += " check";
  if (line.folder) out += " folder=" + *line.folder;
  if (line.log) out += " log=" + *line.log;
  if (line.removal) out += " removal=" + line.removal->handle + "," + line.removal->processId + "," + line.removal->image + "," +
                            line.removal->path;
  return out;
}

TEST(CommandLine, ReadsSwitchesAsABatchFileMeansThem) {
  for (const auto& c : testing::kCommandLineRows)
    EXPECT_EQ(Read(ParseCommandLine(c.raw, testing::kProgramPaths)), c.read) << c.raw;
}

// What Zelvane.exe does with a line: the removal helper's before all, a fault before a switch.
TEST(CommandLine, DispatchesInTheOrderTheProgramDecides) {
  const std::pair<const char*, Dispatch> rows[] = {
      {"Zelvane.exe", Dispatch::Window},
      {"Zelvane.exe /folder:C:\\Q", Dispatch::Window},
      {"Zelvane.exe /check", Dispatch::Unattended},
      {"Zelvane.exe /quiet", Dispatch::Unattended},
      {"Zelvane.exe /? /quiet", Dispatch::Help},
      {"Zelvane.exe /? /nothing", Dispatch::BadLine},
      {"Zelvane.exe /quiet /zelvane-remove-after 1 2 3 x", Dispatch::BadLine},
      {"\"C:\\T\\zlv1.tmp\" /zelvane-remove-after 1 2 3 \"C:\\Q\\Zelvane.exe\"", Dispatch::RemovalHelper},
  };
  for (const auto& [raw, dispatch] : rows) EXPECT_EQ(DispatchOf(ParseCommandLine(raw)), dispatch) << raw;
}

TEST(CommandLine, TellsALogFileFromADevice) {
  for (const auto& c : testing::kLogTargetRows) EXPECT_EQ(LogTargetOf(c.path), c.target) << c.path;
}

TEST(CommandLine, UsageNamesTheVersionEverySwitchAndExitCode) {
  const std::string usage = Usage();
  EXPECT_EQ(usage.rfind("Zelvane " + std::string(Version()) + " upgrades", 0), 0u) << usage;
  for (const char* text : {"/quiet", "/check", "/folder:<folder>", "/log:<file>", "/?", "\n0 \xE2\x80\x93 finished",
                           "\n5 \xE2\x80\x93 with /check", "\n6 \xE2\x80\x93 stopped before the end", "\n7 \xE2\x80\x93 a profile is in use"})
    EXPECT_NE(usage.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace zelvane
