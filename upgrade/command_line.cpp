#include "upgrade/command_line.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "upgrade/run_report.h"

namespace zelvane {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool BeginsWithQuiet(std::string_view argument) { return Lower(argument.substr(0, 6)) == "/quiet"; }

// The arguments after the program's name. Quotes group and are dropped; `unclosed` tells of a
// quote still open at the end.
std::vector<std::string> Arguments(std::string_view raw, bool& unclosed) {
  // The program's name: up to the next quote when it starts with one, else up to a blank.
  std::size_t at = 0;
  if (!raw.empty() && raw[0] == '"') {
    at = raw.find('"', 1);
    at = at == std::string_view::npos ? raw.size() : at + 1;
  }
  while (at < raw.size() && !IsBlank(raw[at])) ++at;

  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false, quoted = false;
  for (; at < raw.size(); ++at) {
    const char c = raw[at];
    if (c == '"') {
      quoted = !quoted;
      inArgument = true;
    } else if (IsBlank(c) && !quoted) {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) arguments.push_back(std::move(current));
  unclosed = quoted;
  return arguments;
}

// A quote left open may hide /quiet inside the last argument: look at its words too.
bool HidesQuiet(const std::string& argument) {
  for (std::size_t at = 0; at < argument.size(); ++at)
    if ((at == 0 || IsBlank(argument[at - 1])) && BeginsWithQuiet(std::string_view(argument).substr(at))) return true;
  return false;
}

}  // namespace

CommandLine ParseCommandLine(std::string_view raw) {
  CommandLine line;
  bool unclosed = false;
  const std::vector<std::string> arguments = Arguments(raw, unclosed);
  bool seen[5] = {};
  // The first fault is the one told; the rest is still read, so that /quiet and a log named
  // after it are kept.
  const auto fault = [&line](const std::string& what) {
    if (line.error.empty()) line.error = what;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (BeginsWithQuiet(argument)) line.quiet = true;
    if (unclosed && i + 1 == arguments.size()) {
      if (HidesQuiet(argument)) line.quiet = true;
      fault("A quotation mark is not closed.");
    }
    if (argument.size() < 2 || argument[0] != '/') {
      fault("\"" + argument + "\" is not a switch; switches begin with \"/\".");
      continue;
    }
    const std::size_t colon = argument.find(':');
    const std::string name = Lower(argument.substr(1, colon == std::string::npos ? std::string::npos : colon - 1));
    const std::optional<std::string> value =
        colon == std::string::npos ? std::nullopt : std::optional(argument.substr(colon + 1));
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
    else if (name == "check") line.check = true;
    else if (name == "folder") line.folder = value;
    else if (name == "log") line.log = value;
  }
  return line;
}

LogTarget LogTargetOf(std::string_view path) {
  if (path.starts_with("\\\\.\\") && Lower(path.substr(4)) != "nul") return LogTarget::Device;
  const std::size_t slash = path.find_last_of("\\/:");
  std::string_view name = path.substr(slash == std::string_view::npos ? 0 : slash + 1);
  name = name.substr(0, name.find('.'));  // devices take any extension
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.remove_suffix(1);
  const std::string base = Lower(name);
  if (base == "nul") return LogTarget::Nothing;
  if (base == "con" || base == "prn" || base == "aux" || base == "conin$" || base == "conout$") return LogTarget::Device;
  if (base.size() >= 4 && (base.starts_with("com") || base.starts_with("lpt"))) {
    const std::string_view number = std::string_view(base).substr(3);
    // 1 to 9, or a superscript 1, 2 or 3 (U+00B9, U+00B2, U+00B3)
    if ((number.size() == 1 && number[0] >= '1' && number[0] <= '9') ||
        number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3")
      return LogTarget::Device;
  }
  return LogTarget::File;
}

std::string Usage() {
  return "Zelvane " + std::string(Version()) +
         " upgrades the format profiles (*.qdx) in the appfiles\\formats folder of Quindrel, so that "
         "Quindrel 2.0.12 can read them.\n\n"
         "Zelvane.exe [/quiet] [/check] [/folder:<folder>] [/log:<file>]\n\n"
         "/quiet \xE2\x80\x93 no window and no message: upgrades as Run would, never removes itself, and tells the "
         "result by its exit code.\n"
         "/check \xE2\x80\x93 changes nothing: tells, for each profile, what a run would do.\n"
         "/folder:<folder> \xE2\x80\x93 the Quindrel folder to work on, instead of Zelvane's own.\n"
         "/log:<file> \xE2\x80\x93 appends a report to the file (UTF-8): a line for each profile and a summary. "
         "When the output is redirected, the report goes there too. /log:nul writes none.\n"
         "/? \xE2\x80\x93 shows this.\n\n"
         "Exit codes:\n" +
         ExitCodeTable();
}

}  // namespace zelvane
