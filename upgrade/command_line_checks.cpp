#include "upgrade/command_line_checks.h"

#include <memory>
#include <vector>

#include "platform/file_identity.h"

namespace zelvane {

std::string CannotWrite(const std::string& log, const PlatformError& e) {
  return "The log \"" + log + "\" cannot be written: could not " + e.Action() + ". " + e.Reason();
}

namespace {

// True when `path` begins with `start`, by their names as Windows compares them, letter case aside
// (and with letter case elsewhere).
bool BeginsWith(Platform& platform, std::string_view path, std::string_view start) {
  if (platform.Separator() != '\\') return path.starts_with(start);
  return path.size() >= start.size() && EndsWithNoCase(path.substr(0, start.size()), start);
}

// Every folder of profiles a run over the Quindrel folder may touch: its formats folder, and every
// user's own copy of it.
std::vector<std::string> ProfileFolders(Platform& platform, const CommandLine& line) {
  std::vector<std::string> folders = {FormatsFolder(platform, line.folder.value_or(""))};
  for (const UserCopy& copy : platform.CopiesOf(folders.front()).users)
    if (copy.unreachable.empty()) folders.push_back(copy.folder);
  return folders;
}

// What is wrong with the log the command line names, by its name alone (made full), or nothing; a
// log that is not to be written is dropped, and one that is becomes a full path. Nothing is opened
// or created meanwhile: what a name leads to is told once the log is open.
std::string CheckLog(Platform& platform, CommandLine& line, const std::vector<std::string>& folders) {
  const std::string named = *line.log;
  line.log.reset();
  switch (LogTargetOf(named)) {
    case LogTarget::Nothing: return {};
    case LogTarget::Device: return "The log \"" + named + "\" is a device, not a file.";
    case LogTarget::Stream:
      return "The log \"" + named + "\" names a stream of a file (a colon after the drive), not a file.";
    case LogTarget::File: break;
  }
  std::string log, program;
  try {
    log = platform.FullPath(named);
    program = platform.ProgramFile();  // what the log is told apart from
  } catch (const PlatformError& e) {
    return CannotWrite(named, e);
  }
  for (const std::string& formats : folders)
    if (BeginsWith(platform, log, formats))
      return "The log \"" + log + "\" is in the folder of the profiles, \"" + formats +
             "\": a log there could be taken for a profile.";
  if (log.size() == program.size() && BeginsWith(platform, log, program))
    return "The log \"" + log + "\" is Zelvane itself, which is never written to.";
  line.log = log;
  return {};
}

// What is wrong with the log as the file it is once open, wherever its name led (a junction in its
// path), or nothing: it is never the program and never lies among the profiles of the run. A name
// that is itself a link, and a file with another name too, the platform refused already.
std::string CheckOpenedLog(Platform& platform, const std::string& log, const FileIdentity& opened,
                           const std::vector<std::string>& folders) {
  if (IsSameIdentity(opened, platform.IdentityOf(platform.ProgramFile())))
    return "The log \"" + log + "\" is Zelvane itself, which is never written to.";
  for (const std::string& folder : folders) {
    const std::optional<FileIdentity> profiles = platform.IdentityOf(folder);
    if (!opened.finalPath.empty() && profiles && BeginsWith(platform, opened.finalPath, profiles->finalPath + platform.Separator()))
      return "The log \"" + log + "\" leads into the folder of the profiles, \"" + folder + "\" (it is \"" +
             opened.finalPath + "\"): a log there could be taken for a profile.";
  }
  return {};
}

}  // namespace

std::string PrepareCommandLine(Platform& platform, CommandLine& line, ReportWriter& writer) {
  std::string fault = line.error;
  const auto refuse = [&fault](std::string what) {
    if (fault.empty()) fault = std::move(what);
  };
  if (line.folder) {
    try {
      line.folder = platform.FullPath(*line.folder);
    } catch (const PlatformError&) {
      // Taken as typed: it is then no folder either.
    }
    if (!platform.IsFolder(*line.folder)) refuse("The folder \"" + *line.folder + "\" does not exist.");
  }
  if (!line.log) return fault;
  const std::vector<std::string> folders = ProfileFolders(platform, line);
  refuse(CheckLog(platform, line, folders));
  if (line.log) {
    std::string refused;
    try {
      writer.OpenLog(*line.log);
      refused = CheckOpenedLog(platform, *line.log, writer.LogIdentity(), folders);
    } catch (const PlatformError& e) {
      refused = e.Why() == Cause::Link ? "The log \"" + *line.log + "\" " + e.Reason() + "." : CannotWrite(*line.log, e);
    }
    if (!refused.empty()) {  // before a byte is written to it
      refuse(refused);
      writer.DropLog();
      line.log.reset();
    }
  }
  return fault;
}

RunOptions OptionsFor(const CommandLine& line) {
  RunOptions options;
  options.quindrelFolder = line.folder.value_or("");
  options.mode = line.check ? UpgradeMode::Check : UpgradeMode::Upgrade;
  options.offerRemoval = !line.Unattended();
  return options;
}

}  // namespace zelvane
