#include "upgrade/command_line.h"

#include <algorithm>
#include <iterator>

#include "upgrade/run_report.h"

namespace zelvane {
namespace {

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool seen[5] = {};
  // The first fault is the one told; the rest is still read, so that a log named after it is kept.
  const auto fault = [&line](const std::string& what) {
    if (line.error.empty()) line.error = what;
  };
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || argument[0] != '/') {
      fault("\"" + argument + "\" is not a switch; switches begin with \"/\".");
      continue;
    }
    const std::size_t colon = argument.find(':');
    const std::string name = Lower(argument.substr(1, colon == std::string::npos ? std::string::npos : colon - 1));
    std::optional<std::string> value =
        colon == std::string::npos ? std::nullopt : std::optional(argument.substr(colon + 1));
    // "/folder:"C:\Quindrel\"" reaches a program as /folder:C:\Quindrel" (a backslash before a
    // quote keeps the quote), and no Windows path holds a quote: it is the user's closing one.
    if (value && !value->empty() && value->back() == '"') value->pop_back();
    const char* const names[] = {"?", "quiet", "check", "folder", "log"};
    const auto known = static_cast<std::size_t>(std::find(std::begin(names), std::end(names), name) - std::begin(names));
    if (known == std::size(names)) {
      fault("\"" + argument + "\" is not a switch Zelvane knows.");
      continue;
    }
    if (seen[known]) {
      fault("/" + name + " is given more than once.");
      continue;
    }
    seen[known] = true;
    const bool takesValue = name == "folder" || name == "log";
    if (takesValue && (!value || value->empty())) {
      fault("/" + name + " needs a value: /" + name + (name == "folder" ? ":<folder>." : ":<file>."));
      continue;
    }
    if (!takesValue && value) {
      fault("/" + name + " takes no value.");
      continue;
    }
    if (name == "?") line.help = true;
    else if (name == "quiet") line.quiet = true;
    else if (name == "check") line.check = true;
    else if (name == "folder") line.folder = value;
    else line.log = value;
  }
  return line;
}

std::string Usage() {
  return "Zelvane upgrades the format profiles (*.qdx) in the appfiles\\formats folder of Quindrel, so that "
         "Quindrel 2.0.12 can read them.\n\n"
         "Zelvane.exe [/quiet] [/check] [/folder:<folder>] [/log:<file>]\n\n"
         "/quiet \xE2\x80\x93 no window and no message: upgrades as Run would, never removes itself, and tells the "
         "result by its exit code.\n"
         "/check \xE2\x80\x93 changes nothing: tells, for each profile, what a run would do.\n"
         "/folder:<folder> \xE2\x80\x93 the Quindrel folder to work on, instead of Zelvane's own.\n"
         "/log:<file> \xE2\x80\x93 appends a report to the file (UTF-8): a line for each profile and a summary. "
         "When the output is redirected, the report goes there too.\n"
         "/? \xE2\x80\x93 shows this.\n\n"
         "Exit codes:\n" +
         ExitCodeTable();
}

}  // namespace zelvane
