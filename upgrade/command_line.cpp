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

bool BeginsWithQuiet(std::string_view text) { return Lower(text.substr(0, 6)) == "/quiet"; }

// Where the arguments begin: after the program's name when the line begins with it, a name in
// quotes up to its closing quote, the program's own path unquoted up to its end. A name whose quote
// never closes is read as an argument, so that the fault is told and /quiet inside it is seen.
std::size_t ArgumentsStart(std::string_view raw, const std::vector<std::string>& programPaths) {
  std::size_t at = raw.find_first_not_of(" \t");
  if (at == std::string_view::npos) return raw.size();
  const std::size_t first = raw.find_first_not_of('"', at);
  if (first != std::string_view::npos && raw[first] == '/') return at;  // a switch, not a path
  for (const std::string& path : programPaths) {
    const std::size_t end = at + path.size();
    if (!path.empty() && Lower(raw.substr(at, path.size())) == Lower(path) && (end == raw.size() || IsBlank(raw[end])))
      return end;
  }
  if (raw[at] == '"') {
    const std::size_t close = raw.find('"', at + 1);
    if (close == std::string_view::npos) return at;
    at = close + 1;
  }
  while (at < raw.size() && !IsBlank(raw[at])) ++at;
  return at;
}

// The arguments, quotes dropped; `unclosed` tells of a quote still open at the end.
std::vector<std::string> Arguments(std::string_view raw, const std::vector<std::string>& programPaths, bool& unclosed) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false, quoted = false;
  for (std::size_t at = ArgumentsStart(raw, programPaths); at < raw.size(); ++at) {
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

// A word after the first begins with /quiet: only quotes put blanks inside an argument.
bool HidesQuiet(std::string_view argument) {
  for (std::size_t at = 1; at < argument.size(); ++at)
    if (IsBlank(argument[at - 1]) && BeginsWithQuiet(argument.substr(at))) return true;
  return false;
}

bool IsNumber(std::string_view text) {
  return !text.empty() && text.size() <= 20 && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The helper's line exactly as the program writes it: the switch, a process handle, a process
// id, a file handle, a path.
bool IsRemovalLine(const std::vector<std::string>& arguments, bool unclosed) {
  return !unclosed && arguments.size() == 5 && arguments[0] == kRemovalSwitch && IsNumber(arguments[1]) &&
         IsNumber(arguments[2]) && IsNumber(arguments[3]) && !arguments[4].empty();
}

// The name Windows takes a device by in a file name: up to its first dot or colon, without
// trailing dots and blanks, letter case aside.
std::string DeviceName(std::string_view name) {
  name = name.substr(0, name.find_first_of(".:"));
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.remove_suffix(1);
  return Lower(name);
}

bool IsDevice(const std::string& name) {
  if (name == "con" || name == "prn" || name == "aux" || name == "conin$" || name == "conout$") return true;
  if (name.size() < 4 || !(name.starts_with("com") || name.starts_with("lpt"))) return false;
  const std::string_view number = std::string_view(name).substr(3);
  // 1 to 9, or a superscript 1, 2 or 3 (U+00B9, U+00B2, U+00B3)
  return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
         number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

Dispatch DispatchOf(const CommandLine& line) {
  if (line.removal) return Dispatch::RemovalHelper;
  if (!line.error.empty()) return Dispatch::BadLine;
  if (line.help) return Dispatch::Help;
  return line.Unattended() ? Dispatch::Unattended : Dispatch::Window;
}

std::string UnknownSwitch(std::string_view argument) {
  return "\"" + std::string(argument) + "\" is not a switch Zelvane knows.";
}

CommandLine ParseCommandLine(std::string_view raw, const std::vector<std::string>& programPaths) {
  CommandLine line;
  bool unclosed = false;
  const std::vector<std::string> arguments = Arguments(raw, programPaths, unclosed);
  for (const std::string& argument : arguments) line.quiet = line.quiet || BeginsWithQuiet(argument) || HidesQuiet(argument);
  if (IsRemovalLine(arguments, unclosed)) {
    line.removal = RemovalRequest{arguments[1], arguments[2], arguments[3], arguments[4]};
    return line;
  }
  bool seen[5] = {};
  // The first fault is the one told; the rest is still read, so that /quiet and a log named
  // after it are kept.
  const auto fault = [&line](const std::string& what) {
    if (line.error.empty()) line.error = what;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hidden = HidesQuiet(argument);
    if (unclosed && i + 1 == arguments.size()) fault("A quotation mark is not closed.");
    if (hidden) {
      fault("\"" + argument + "\" holds /quiet inside quotation marks: give each switch on its own.");
      continue;
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
      fault(UnknownSwitch(argument));
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
  const bool deviceSpace = path.starts_with("\\\\.\\");
  if (deviceSpace || path.starts_with("\\\\?\\")) path.remove_prefix(4);
  if (path.size() >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z')) path.remove_prefix(2);
  const std::size_t slash = path.find_last_of("\\/");
  const std::string name = DeviceName(path.substr(slash == std::string_view::npos ? 0 : slash + 1));
  if (name == "nul") return LogTarget::Nothing;
  if (deviceSpace || IsDevice(name)) return LogTarget::Device;
  if (path.find(':') != std::string_view::npos) return LogTarget::Stream;
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
