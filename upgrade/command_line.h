#pragma once
// The command line of Zelvane.exe, for installers, batch files and scripts: switches beginning
// with "/", their names in any letter case, values quoted the way a batch file quotes them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/removal.h"

namespace zelvane {

struct CommandLine {
  bool help = false;                  // /?
  bool quiet = false;                 // /quiet: no window, no box, ever; the result is the exit code
  bool check = false;                 // /check: change nothing, say what a run would do
  std::optional<std::string> folder;  // /folder:<path>: the Quindrel folder to work on
  std::optional<std::string> log;     // /log:<file>: append the run's report to this file
  std::optional<RemovalRequest> removal;  // the line the program writes for its removal helper
  std::string error;                  // the first thing wrong with the command line; empty when nothing

  bool Unattended() const { return quiet || check; }  // no main window
};

// Reads the whole command line the way the author of a batch file means it. The program's name
// comes first when the launcher repeats it, as most do; a line that begins with "/" (after any
// quotes) begins with a switch, since no Windows path begins so. A line that begins with one of
// `programPaths` (the program's own full path as the system gives it, and its short form), in any
// letter case and followed by a blank or nothing, begins with exactly that path, blanks and all, as
// a launcher that did not quote it means it (Windows starts such a line all the same). Arguments
// are separated by spaces and tabs outside quotes, and quotes only group, whether they wrap a whole
// switch or only its value. No Windows path holds a quote, so a backslash never escapes one:
// /folder:"%~dp0" /quiet, whose value ends in a backslash, is a folder and a second switch.
//
// Any argument that begins with /quiet, or holds a word that does inside quotes ("/check /quiet",
// as a script passes two switches in one variable), makes the line quiet whatever else is wrong;
// such a word inside quotes is itself a fault.
//
// The removal helper's line is the helper's switch and exactly its four values, as the program
// writes it; the switch anywhere else is unknown.
CommandLine ParseCommandLine(std::string_view raw, const std::vector<std::string>& programPaths = {});

// What Zelvane.exe does with its command line, in the order it decides: the removal helper's
// line first (a line it cannot trust is then an unknown switch), a line with a fault, /?, a run
// without the window, the window.
enum class Dispatch : std::uint8_t { RemovalHelper, BadLine, Help, Unattended, Window };
Dispatch DispatchOf(const CommandLine& line);

// The fault told for an argument that is no switch Zelvane knows.
std::string UnknownSwitch(std::string_view argument);

// What a /log: path names.
enum class LogTarget : std::uint8_t {
  File,     // an ordinary file
  Nothing,  // the null device ("nul", "nul:", "nul.txt", as in "> nul"): no log at all
  Device,   // another device (con, prn, aux, com1, lpt1, \\.\...): never written to
  Stream,   // a colon after the drive ("x.log:s", "x.log::$DATA"): a stream of a file, never written to
};

// Decided as Windows names devices, by the last name in the path up to its first dot or colon,
// trailing dots and blanks aside ("con.log" and "con:" are the console too); then a colon
// anywhere after the drive ("C:") or the "\\?\" prefix names a stream.
LogTarget LogTargetOf(std::string_view path);

// What /? shows: the version, the switches and the exit codes.
std::string Usage();

}  // namespace zelvane
