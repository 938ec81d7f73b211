// The command line, as scripts, batch files and installers write it.

#include "upgrade/command_line.h"

#include <gtest/gtest.h>

#include "upgrade/run_report.h"

namespace zelvane {
namespace {

// The switches a command line turned on, as " help quiet check folder=<f> log=<l>", or its first
// fault (with " [quiet]" when no box may tell it).
std::string Read(const CommandLine& line) {
  if (!line.error.empty()) return "error: " + line.error + (line.quiet ? " [quiet]" : "");
  std::string out;
  if (line.help) out += " help";
  if (line.quiet) out += " quiet";
  if (line.check) out += " check";
  if (line.folder) out += " folder=" + *line.folder;
  if (line.log) out += " log=" + *line.log;
  return out;
}

// Whole command lines, program name first, as GetCommandLineW gives them.
TEST(CommandLine, ReadsSwitchesAsABatchFileMeansThem) {
  const struct {
    const char* raw;
    std::string read;
  } cases[] = {
      {"Zelvane.exe", ""},
      {"\"C:\\Program Files\\Zelvane\\Zelvane.exe\"", ""},
      {"\"C:\\Program Files\\Zelvane\\Zelvane.exe\" /quiet", " quiet"},
      {"Zelvane.exe   /QUIET\t/Check  ", " quiet check"},
      {"Zelvane.exe /?", " help"},
      {"Zelvane.exe /folder:C:\\q", " folder=C:\\q"},
      {"Zelvane.exe \"/folder:C:\\Program Files\\Quindrel\"", " folder=C:\\Program Files\\Quindrel"},
      {"Zelvane.exe /folder:\"C:\\Program Files (x86)\\Quindrel\"", " folder=C:\\Program Files (x86)\\Quindrel"},
      {"Zelvane.exe /FOLDER:D:\\a:b", " folder=D:\\a:b"},  // only the first colon ends the name
      // "%~dp0" ends in a backslash: the quote after it closes the value all the same.
      {"Zelvane.exe /folder:\"C:\\Quindrel\\\" /quiet", " quiet folder=C:\\Quindrel\\"},
      {"Zelvane.exe /folder:\"C:\\q\\\" /log:\"C:\\l.log\"", " folder=C:\\q\\ log=C:\\l.log"},
      {"Zelvane.exe /log:run.log /quiet /folder:..\\Quindrel", " quiet folder=..\\Quindrel log=run.log"},
      {"Zelvane.exe /quite", "error: \"/quite\" is not a switch Zelvane knows."},
      {"Zelvane.exe /quite /folder", "error: \"/quite\" is not a switch Zelvane knows."},  // the first fault
      {"Zelvane.exe -quiet", "error: \"-quiet\" is not a switch; switches begin with \"/\"."},
      {"Zelvane.exe C:\\Quindrel", "error: \"C:\\Quindrel\" is not a switch; switches begin with \"/\"."},
      {"Zelvane.exe /", "error: \"/\" is not a switch; switches begin with \"/\"."},
      {"Zelvane.exe \"\"", "error: \"\" is not a switch; switches begin with \"/\"."},
      {"Zelvane.exe /folder", "error: /folder needs a value: /folder:<folder>."},
      {"Zelvane.exe /log:", "error: /log needs a value: /log:<file>."},
      {"Zelvane.exe /log:\"\"", "error: /log needs a value: /log:<file>."},
      {"Zelvane.exe /check:yes", "error: /check takes no value."},
      {"Zelvane.exe /folder:a /folder:b", "error: /folder is given more than once."},
      // Whatever else is wrong, a switch that begins with /quiet means no box.
      {"Zelvane.exe /quiet:", "error: /quiet takes no value. [quiet]"},
      {"Zelvane.exe /QUIET=1", "error: \"/QUIET=1\" is not a switch Zelvane knows. [quiet]"},
      {"Zelvane.exe /quiet /Quiet", "error: /quiet is given more than once. [quiet]"},
      {"Zelvane.exe /nothing /quiet", "error: \"/nothing\" is not a switch Zelvane knows. [quiet]"},
      {"Zelvane.exe /folder:\"C:\\Quindrel /quiet", "error: A quotation mark is not closed. [quiet]"},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(ParseCommandLine(c.raw)), c.read) << c.raw;
}

// A log is a file: "nul" is none, as "> nul" is, and no other device is ever written to.
TEST(CommandLine, TellsALogFileFromADevice) {
  const struct {
    const char* path;
    LogTarget target;
  } cases[] = {
      {"C:\\Logs\\zelvane.log", LogTarget::File},
      {"run.log", LogTarget::File},
      {"console.log", LogTarget::File},
      {"C:\\con\\x.log", LogTarget::File},  // only the last name can be a device
      {"com0", LogTarget::File},
      {"lpt10.log", LogTarget::File},
      {"nul", LogTarget::Nothing},
      {"NUL", LogTarget::Nothing},
      {"nul.log", LogTarget::Nothing},
      {"C:\\Logs\\Nul .txt", LogTarget::Nothing},
      {"\\\\.\\NUL", LogTarget::Nothing},
      {"con", LogTarget::Device},
      {"CON.log", LogTarget::Device},
      {"prn", LogTarget::Device},
      {"C:\\Logs\\aux.txt", LogTarget::Device},
      {"com1", LogTarget::Device},
      {"COM9.log", LogTarget::Device},
      {"lpt1", LogTarget::Device},
      {"conin$", LogTarget::Device},
      {"CONOUT$", LogTarget::Device},
      {"com\xC2\xB9", LogTarget::Device},  // COM with a superscript one
      {"\\\\.\\pipe\\zelvane", LogTarget::Device},
  };
  for (const auto& c : cases) EXPECT_EQ(LogTargetOf(c.path), c.target) << c.path;
}

TEST(CommandLine, UsageNamesTheVersionEverySwitchAndExitCode) {
  const std::string usage = Usage();
  EXPECT_EQ(usage.rfind("Zelvane " + std::string(Version()) + " upgrades", 0), 0u) << usage;
  for (const char* text : {"/quiet", "/check", "/folder:<folder>", "/log:<file>", "/?", "\n0 \xE2\x80\x93 finished",
                           "\n5 \xE2\x80\x93 with /check", "\n6 \xE2\x80\x93 stopped before the end"})
    EXPECT_NE(usage.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace zelvane
