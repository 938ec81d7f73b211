// libFuzzer target: the raw command line, the front door of every unattended run. Each input is
// read twice, as a line of UTF-8 and as one of UTF-16 (little-endian units) through the
// conversion the program reads GetCommandLineW with, at most the 32,767 characters Windows allows.
// The parser's result is held to the rules of unattended use by an oracle written plainly below,
// sharing no code with the parser:
//  - any word of the line after the program's name, inside quotes or not, that begins with
//    /quiet (any letter case) makes the line quiet, whatever else is wrong with it;
//  - a line whose first token begins with "/" has no program name: it reads as it would after one;
//  - a line that begins with the program's own path unquoted (blanks and all, any letter case)
//    reads as it would after that path quoted;
//  - an accepted /log: value is a file or no log, never a device or a stream of a file;
//  - a line without a fault turns on exactly its switches, each known and given once, with
//    their values; the removal helper's line is the switch and its four values alone;
//  - reading is deterministic.
// The input is also read as a /log: path by itself. Any broken rule aborts, so libFuzzer keeps the
// input as a crash.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "testing/command_line_rows.h"
#include "upgrade/command_line.h"

namespace zelvane {
namespace {

constexpr std::size_t kLongestLine = 32767;  // characters of a Windows command line

[[noreturn]] void Broken(const char* what, std::string_view line) {
  std::string shown;  // the line's first 300 bytes, those that are not printable ASCII as \xNN
  for (const char c : line.substr(0, 300)) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
    shown += c >= ' ' && c <= '~' ? std::string(1, c) : escaped;
  }
  std::fprintf(stderr, "broken rule: %s\nline: [%s]\n", what, shown.c_str());
  std::abort();
}

void Check(bool holds, const char* what, std::string_view line) {
  if (!holds) Broken(what, line);
}

// ---- the oracle ----

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::string Folded(std::string_view text) {
  std::string out;
  for (const char c : text) out += c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
  return out;
}

// No Windows path begins with "/": a line whose first token does, after its opening quotes,
// begins with a switch.
bool BeginsWithSwitch(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && Blank(line[at])) ++at;
  while (at < line.size() && line[at] == '"') ++at;
  return at < line.size() && line[at] == '/';
}

// The text after the program's name. Windows' rule: the name runs to the first blank, or, when it
// begins with a quote, to the quote that closes it and on to the first blank; but a line that
// begins with the program's own path unquoted, in any letter case, followed by a blank or nothing,
// begins with that path whole. A line that begins with a switch has no name, and a name whose
// quote never closes is none either.
std::string_view AfterName(std::string_view line) {
  if (BeginsWithSwitch(line)) return line;
  std::size_t at = 0;
  while (at < line.size() && Blank(line[at])) ++at;
  for (const std::string& path : testing::kProgramPaths)
    if (line.size() - at >= path.size() && Folded(line.substr(at, path.size())) == Folded(path) &&
        (line.size() - at == path.size() || Blank(line[at + path.size()])))
      return line.substr(at + path.size());
  if (at < line.size() && line[at] == '"') {
    const std::size_t close = line.find('"', at + 1);
    if (close == std::string_view::npos) return line.substr(at);
    at = close + 1;
  }
  while (at < line.size() && !Blank(line[at])) ++at;
  return line.substr(at);
}

// The words of a text: what lies between blanks, quotes dropped.
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words(1);
  for (const char c : text) {
    if (Blank(c)) {
      if (!words.back().empty()) words.emplace_back();
    } else if (c != '"') {
      words.back() += c;
    }
  }
  return words;
}

// The arguments: separated by blanks outside quotes, quotes dropped (a pair of quotes alone is an
// empty argument).
std::vector<std::string> Arguments(std::string_view text) {
  std::vector<std::string> arguments;
  std::optional<std::string> current;
  bool quoted = false;
  for (const char c : text) {
    if (c == '"') {
      quoted = !quoted;
      if (!current) current.emplace();
    } else if (Blank(c) && !quoted) {
      if (current) arguments.push_back(*current);
      current.reset();
    } else {
      if (!current) current.emplace();
      *current += c;
    }
  }
  if (current) arguments.push_back(*current);
  return arguments;
}

// The names Windows keeps for devices, in any letter case, whatever follows them after a dot or a
// colon.
bool NamesDevice(std::string base, const char* only = nullptr) {
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
  base = Folded(base);
  if (only) return base == only;
  static const std::set<std::string> devices = [] {
    std::set<std::string> names = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* port : {"com", "lpt"})
      for (const char* number : {"1", "2", "3", "4", "5", "6", "7", "8", "9", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"})
        names.insert(std::string(port) + number);
    return names;
  }();
  return devices.contains(base);
}

struct PathParts {
  bool deviceSpace = false;  // \\.\...
  std::string_view rest;     // after any \\?\ or \\.\ and any drive
  std::string base;          // the last name, up to its first dot or colon
};

PathParts Parts(std::string_view path) {
  PathParts parts;
  parts.deviceSpace = path.substr(0, 4) == "\\\\.\\";
  if (parts.deviceSpace || path.substr(0, 4) == "\\\\?\\") path.remove_prefix(4);
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) path.remove_prefix(2);
  parts.rest = path;
  const std::size_t slash = path.find_last_of("\\/");
  const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  parts.base = std::string(last.substr(0, last.find_first_of(".:")));
  return parts;
}

void CheckLogTarget(std::string_view path, std::string_view line) {
  const PathParts parts = Parts(path);
  const bool nul = NamesDevice(parts.base, "nul");
  const bool device = parts.deviceSpace || NamesDevice(parts.base);
  switch (LogTargetOf(path)) {
    case LogTarget::File:
      Check(!device, "a device is taken for a log file", line);
      Check(parts.rest.find(':') == std::string_view::npos, "a stream of a file is taken for a log file", line);
      break;
    case LogTarget::Nothing:
      Check(nul, "a path other than nul is taken for no log", line);
      break;
    case LogTarget::Device:
      Check(device && !nul, "a path that names no device is taken for one", line);
      break;
    case LogTarget::Stream:
      Check(!device && parts.rest.find(':') != std::string_view::npos, "a path is taken for a stream wrongly", line);
      break;
  }
}

bool Same(const CommandLine& a, const CommandLine& b) {
  const auto removal = [](const CommandLine& c) {
    return c.removal ? c.removal->handle + "\n" + c.removal->processId + "\n" + c.removal->path : std::string("-");
  };
  return a.help == b.help && a.quiet == b.quiet && a.check == b.check && a.folder == b.folder && a.log == b.log &&
         removal(a) == removal(b) && a.error == b.error;
}

bool Digits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A line without a fault turns on exactly what its arguments say.
void CheckAccepted(const CommandLine& read, std::string_view line) {
  const std::vector<std::string> arguments = Arguments(AfterName(line));
  if (read.removal) {
    Check(arguments.size() == 5 && arguments[0] == "/zelvane-remove-after" && Digits(arguments[1]) &&
              Digits(arguments[2]) && Digits(arguments[3]) && !arguments[4].empty() &&
              read.removal->handle == arguments[1] && read.removal->processId == arguments[2] &&
              read.removal->image == arguments[3] && read.removal->path == arguments[4],
          "a removal helper's line is read from another line", line);
    return;
  }
  CommandLine expected;
  std::vector<std::string> seen;
  for (const std::string& argument : arguments) {
    Check(argument.size() >= 2 && argument[0] == '/', "an argument that is no switch is accepted", line);
    const std::size_t colon = argument.find(':');
    const std::string name = Folded(argument.substr(1, colon == std::string::npos ? std::string::npos : colon - 1));
    for (const std::string& before : seen) Check(before != name, "a switch given twice is accepted", line);
    seen.push_back(name);
    const std::optional<std::string> value =
        colon == std::string::npos ? std::nullopt : std::optional(argument.substr(colon + 1));
    if (name == "?" || name == "quiet" || name == "check") {
      Check(!value, "a switch without a value is accepted with one", line);
      (name == "?" ? expected.help : name == "quiet" ? expected.quiet : expected.check) = true;
    } else if (name == "folder" || name == "log") {
      Check(value && !value->empty(), "a switch is accepted without its value", line);
      (name == "folder" ? expected.folder : expected.log) = value;
    } else {
      Broken("an unknown switch is accepted", line);
    }
  }
  Check(Same(read, expected), "a line turns on other switches than its own", line);
}

void CheckLine(std::string_view line) {
  const CommandLine read = ParseCommandLine(line, testing::kProgramPaths);
  Check(Same(read, ParseCommandLine(line, testing::kProgramPaths)), "reading the same line twice differs", line);

  for (const std::string& word : Words(AfterName(line)))
    if (Folded(word).rfind("/quiet", 0) == 0) Check(read.quiet, "a word that begins with /quiet leaves the line unquiet", line);

  if (BeginsWithSwitch(line))
    Check(Same(read, ParseCommandLine("Zelvane.exe " + std::string(line), testing::kProgramPaths)),
          "a line that begins with a switch reads otherwise than after a program name", line);

  if (read.error.empty()) CheckAccepted(read, line);
  if (read.error.empty() && read.log) {
    const LogTarget target = LogTargetOf(*read.log);
    if (target == LogTarget::File || target == LogTarget::Nothing) CheckLogTarget(*read.log, line);
  }
}

}  // namespace
}  // namespace zelvane

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelvane;
  const std::string_view bytes(reinterpret_cast<const char*>(data), std::min(size, kLongestLine));
  CheckLine(bytes);
  CheckLogTarget(bytes, bytes);

  std::u16string units;
  for (std::size_t i = 0; i + 1 < size && units.size() < kLongestLine; i += 2)
    units += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  const std::string line = Utf8FromUtf16(std::u16string_view(units));
  CheckLine(line);
  return 0;
}
