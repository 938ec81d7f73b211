// The command line, as scripts and installers write it.

#include "upgrade/command_line.h"

#include <gtest/gtest.h>

namespace zelvane {
namespace {

// The switches a command line turned on, as "help quiet check folder=<f> log=<l>", or its error.
std::string Read(const CommandLine& line) {
  if (!line.error.empty()) return "error: " + line.error;
  std::string out;
  if (line.help) out += " help";
  if (line.quiet) out += " quiet";
  if (line.check) out += " check";
  if (line.folder) out += " folder=" + *line.folder;
  if (line.log) out += " log=" + *line.log;
  return out;
}

TEST(CommandLine, ReadsSwitchesTheWindowsWay) {
  const struct {
    std::vector<std::string> arguments;
    std::string read;
  } cases[] = {
      {{}, ""},
      {{"/quiet"}, " quiet"},
      {{"/QUIET", "/Check"}, " quiet check"},
      {{"/?"}, " help"},
      {{"/folder:C:\\Program Files\\Quindrel"}, " folder=C:\\Program Files\\Quindrel"},
      {{"/FOLDER:D:\\a:b"}, " folder=D:\\a:b"},  // only the first colon ends the name
      {{"/folder:C:\\Quindrel\""}, " folder=C:\\Quindrel"},  // what "C:\Quindrel\" in quotes becomes
      {{"/log:run.log", "/quiet", "/folder:..\\Quindrel"}, " quiet folder=..\\Quindrel log=run.log"},
      {{"/quite"}, "error: \"/quite\" is not a switch Zelvane knows."},
      {{"-quiet"}, "error: \"-quiet\" is not a switch; switches begin with \"/\"."},
      {{"C:\\Quindrel"}, "error: \"C:\\Quindrel\" is not a switch; switches begin with \"/\"."},
      {{"/"}, "error: \"/\" is not a switch; switches begin with \"/\"."},
      {{"/folder"}, "error: /folder needs a value: /folder:<folder>."},
      {{"/log:"}, "error: /log needs a value: /log:<file>."},
      {{"/quiet:yes"}, "error: /quiet takes no value."},
      {{"/quiet", "/Quiet"}, "error: /quiet is given more than once."},
      {{"/folder:a", "/folder:b"}, "error: /folder is given more than once."},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(ParseCommandLine(c.arguments)), c.read) << ::testing::PrintToString(c.arguments);
}

TEST(CommandLine, UsageNamesEverySwitchAndExitCode) {
  const std::string usage = Usage();
  for (const char* text : {"/quiet", "/check", "/folder:<folder>", "/log:<file>", "/?", "\n0 \xE2\x80\x93 finished", "\n5 \xE2\x80\x93 with /check"})
    EXPECT_NE(usage.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace zelvane
