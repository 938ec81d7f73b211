#pragma once
// The command line of Zelvane.exe, for installers, batch files and scripts: switches beginning
// with "/", their names in any letter case, values quoted the way a batch file quotes them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelvane {

struct CommandLine {
  bool help = false;                  // /?
  bool quiet = false;                 // /quiet: no window, no box, ever; the result is the exit code
  bool check = false;                 // /check: change nothing, say what a run would do
  std::optional<std::string> folder;  // /folder:<path>: the Quindrel folder to work on
  std::optional<std::string> log;     // /log:<file>: append the run's report to this file
  std::string error;                  // the first thing wrong with the command line; empty when nothing

  bool Unattended() const { return quiet || check; }  // no main window
};

// Reads the whole command line (the program's name first, as the system passes it) the way the
// author of a batch file means it: arguments are separated by spaces and tabs outside quotes, and
// quotes only group, whether they wrap a whole switch or only its value. No Windows path holds a
// quote, so a backslash never escapes one: /folder:"%~dp0" /quiet, whose value ends in a
// backslash, is a folder and a second switch. Any argument that begins with /quiet makes the line
// quiet, even when it is malformed and whatever else is wrong.
CommandLine ParseCommandLine(std::string_view raw);

// What a /log: path names.
enum class LogTarget : std::uint8_t {
  File,     // an ordinary file
  Nothing,  // the null device ("nul", as in "> nul"): no log at all
  Device,   // another device (con, prn, aux, com1, lpt1...): never written to
};

// Decided by the last name in the path, as Windows names devices: "con.log" is the console too.
LogTarget LogTargetOf(std::string_view path);

// What /? shows: the version, the switches and the exit codes.
std::string Usage();

}  // namespace zelvane
