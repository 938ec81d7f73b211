#pragma once
// The command line of Zelvane.exe, for installers and scripts: Windows conventions, switches
// beginning with "/", their names in any letter case.

#include <optional>
#include <string>
#include <vector>

namespace zelvane {

struct CommandLine {
  bool help = false;                  // /?
  bool quiet = false;                 // /quiet: no window, no box; the result is the exit code
  bool check = false;                 // /check: change nothing, say what a run would do
  std::optional<std::string> folder;  // /folder:<path>: the Quindrel folder to work on
  std::optional<std::string> log;     // /log:<file>: append the run's report to this file
  std::string error;                  // what is wrong with the command line; empty when nothing

  bool Unattended() const { return quiet || check; }  // no main window
};

// The arguments after the program's name, as Windows splits them.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What /? shows.
std::string Usage();

}  // namespace zelvane
