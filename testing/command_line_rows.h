#pragma once
// Command lines as launchers, batch files and scripts pass them, and /log: paths, with what Zelvane
// makes of each: the rows of the command line's unit tests and the seeds of its fuzzer.

#include <string>
#include <vector>

#include "upgrade/command_line.h"

namespace zelvane::testing {

// Whole command lines as GetCommandLineW gives them: the program's name first, unless the
// launcher left it out (CreateProcessW with the module named apart). `read` is what the line
// turns on, as " help quiet check folder=<f> log=<l> removal=<h>,<p>,<image>,<path>", or its first fault
// (with " [quiet]" when no box may tell it).
struct CommandLineRow {
  const char* raw;
  const char* read;
};
// The program's own path as the rows' system gives it, and its short form: every row is read with
// these, as the program reads its line.
inline const std::vector<std::string> kProgramPaths = {"C:\\Quindrel Folder\\Zelvane.exe", "C:\\QUINDR~1\\ZELVANE.EXE"};
inline constexpr CommandLineRow kCommandLineRows[] = {
    // A launcher that did not quote the program's path, blanks and all.
    {"C:\\Quindrel Folder\\Zelvane.exe /quiet /check", " quiet check"},
    {"\tc:\\quindrel folder\\zelvane.EXE /check", " check"},
    {"C:\\QUINDR~1\\ZELVANE.EXE /quiet", " quiet"},
    {"C:\\Quindrel Folder\\Zelvane.exe", ""},
    {"C:\\Quindrel Folder\\Zelvane.exe.bak /quiet",  // not the program's path: the name ends at the blank
     "error: \"Folder\\Zelvane.exe.bak\" is not a switch; switches begin with \"/\". [quiet]"},
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
    {"Zelvane.exe /check /folder:\"C:\\Q /quiet", "error: A quotation mark is not closed. [quiet]"},
    {"\"C:\\Q\\Zelvane.exe /quiet", "error: A quotation mark is not closed. [quiet]"},  // the name's own quote
    // No program name: a line that begins with "/" begins with a switch.
    {"/check /quiet", " quiet check"},
    {"/quiet /folder:C:\\Q", " quiet folder=C:\\Q"},
    {"  \"/check\" /quiet", " quiet check"},
    {"", ""},
    // Switches quoted together, as PowerShell passes a variable holding them: /quiet still holds.
    {"Zelvane.exe \"/check /quiet\"", "error: \"/check /quiet\" holds /quiet inside quotation marks: give each "
                                       "switch on its own. [quiet]"},
    {"\"/check /Quiet\"", "error: \"/check /Quiet\" holds /quiet inside quotation marks: give each switch on its "
                          "own. [quiet]"},
    {"Zelvane.exe \"/folder:C:\\Program Files\\Q /quiet\"",
     "error: \"/folder:C:\\Program Files\\Q /quiet\" holds /quiet inside quotation marks: give each switch on its "
     "own. [quiet]"},
    {"Zelvane.exe \"/folder:C:\\Program Files\\Q\\quiet\"", " folder=C:\\Program Files\\Q\\quiet"},
    // The removal helper's line, exactly as the program writes it; its switch anywhere else is unknown.
    {"\"C:\\T\\zlv1.tmp\" /zelvane-remove-after 1234 5678 92 \"C:\\Q\\Zelvane.exe\"",
     " removal=1234,5678,92,C:\\Q\\Zelvane.exe"},
    {"\"C:\\T\\zlv1.tmp\" /zelvane-remove-after 1 2 3 \"C:\\x /quiet\\Zelvane.exe\"",  // quiet, should it not be trusted
     " quiet removal=1,2,3,C:\\x /quiet\\Zelvane.exe"},
    {"\"C:\\T\\zlv1.tmp\" /zelvane-remove-after 1 2 \"C:\\Q\\Zelvane.exe\"",  // the image's handle left out
     "error: \"/zelvane-remove-after\" is not a switch Zelvane knows."},
    {"Zelvane.exe /zelvane-remove-after", "error: \"/zelvane-remove-after\" is not a switch Zelvane knows."},
    {"Zelvane.exe /zelvane-remove-after 1 2 x /quiet",
     "error: \"/zelvane-remove-after\" is not a switch Zelvane knows. [quiet]"},
    {"Zelvane.exe /zelvane-remove-after a 2 x", "error: \"/zelvane-remove-after\" is not a switch Zelvane knows."},
    {"Zelvane.exe /quiet /zelvane-remove-after 1 2", "error: \"/zelvane-remove-after\" is not a switch Zelvane knows. [quiet]"},
    {"Zelvane.exe /zelvane-remove-after \"\" 2 3 x", "error: \"/zelvane-remove-after\" is not a switch Zelvane knows."},
    {"Zelvane.exe /zelvane-remove-after 1 \"\" 3 x", "error: \"/zelvane-remove-after\" is not a switch Zelvane knows."},
    {"Zelvane.exe /zelvane-remove-after 1 2 3 \"\"", "error: \"/zelvane-remove-after\" is not a switch Zelvane knows."},
    // Blanks before the program's name, and a quote left open after a hidden /quiet.
    {"\tZelvane.exe /quiet", " quiet"},
    {"\t\"C:\\Q\\Zelvane.exe\" /check", " check"},
    {"Zelvane.exe /log:a \"/folder:x /quiet", "error: A quotation mark is not closed. [quiet]"},
  };

// A log is a file: "nul" is none, as "> nul" is, and no other device is ever written to.
struct LogTargetRow {
  const char* path;
  LogTarget target;
};
inline constexpr LogTargetRow kLogTargetRows[] = {
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
    {"D:con", LogTarget::Device},  // drive-relative
    {"LPT\xC2\xB3.log", LogTarget::Device},
    // A colon after the drive: a device all the same, no log for "nul", else a stream of a file.
    {"con:", LogTarget::Device},
    {"com1:", LogTarget::Device},
    {"prn:", LogTarget::Device},
    {"lpt1:", LogTarget::Device},
    {"con::$DATA", LogTarget::Device},
    {"nul:", LogTarget::Nothing},
    {"NUL:x", LogTarget::Nothing},
    {"nul.txt:", LogTarget::Nothing},
    {"nul::$DATA", LogTarget::Nothing},
    {"nul. ", LogTarget::Nothing},
    {"run.log:hidden", LogTarget::Stream},
    {"C:\\Logs\\run.log::$DATA", LogTarget::Stream},
    {"C:\\a:b\\run.log", LogTarget::Stream},
    {"\\\\?\\C:\\Logs\\run.log:s", LogTarget::Stream},
    {"\\\\?\\C:\\Logs\\run.log", LogTarget::File},
    {"\\\\?\\UNC\\server\\share\\run.log", LogTarget::File},
    {"zelvane.log ", LogTarget::File},
  };

}  // namespace zelvane::testing
