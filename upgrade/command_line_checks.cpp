#include "upgrade/command_line_checks.h"

#include <memory>
#include <vector>

namespace zelvane {

std::string CannotWrite(const std::string& log, const PlatformError& e) {
  return "The log \"" + log + "\" cannot be written: could not " + e.Action() + ". " + e.Reason();
}

namespace {

// True when `path` lies in `folder` or in a folder below it, however either is written: the
// folders are compared as the file system knows them.
bool IsIn(Platform& platform, const std::string& path, const std::string& folder) {
  for (std::size_t end = path.find_last_of(platform.Separator()); end != std::string::npos && end > 0;
       end = path.find_last_of(platform.Separator(), end - 1))
    if (platform.IsSameFile(path.substr(0, end + 1), folder)) return true;
  return false;
}

// Every folder of profiles a run over the Quindrel folder may touch: its formats folder, and every
// user's own copy of it.
std::vector<std::string> ProfileFolders(Platform& platform, const CommandLine& line) {
  std::vector<std::string> folders = {FormatsFolder(platform, line.folder.value_or(""))};
  for (const UserCopy& copy : platform.CopiesOf(folders.front()).users)
    if (copy.unreachable.empty()) folders.push_back(copy.folder);
  return folders;
}

// What is wrong with the log the command line names, by its name, or nothing; a log that is not
// to be written is dropped, and one that is becomes a full path. Nothing is created meanwhile.
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
  std::string log;
  try {
    log = platform.FullPath(named);
  } catch (const PlatformError& e) {
    return CannotWrite(named, e);
  }
  for (const std::string& formats : folders)
    if (IsIn(platform, log, formats))
      return "The log \"" + log + "\" is in the folder of the profiles, \"" + formats +
             "\": a log there could be taken for a profile.";
  if (platform.IsSameFile(log, platform.ProgramFile()))
    return "The log \"" + log + "\" is Zelvane itself, which is never written to.";
  line.log = log;
  return {};
}

// What is wrong with the log as the file it is once open, whatever name led to it (a hard link, a
// symbolic link, a junction), or nothing: it is never the program and never a profile of the run.
std::string CheckOpenedLog(Platform& platform, const std::string& log, const FileIdentity& opened,
                           const std::vector<std::string>& folders) {
  if (IsSameIdentity(opened, platform.IdentityOf(platform.ProgramFile())))
    return "The log \"" + log + "\" is Zelvane itself, which is never written to.";
  for (const std::string& folder : folders) {
    const std::unique_ptr<FileListing> profiles = platform.ListFiles(folder, ".qdx");
    for (std::string name = profiles->Next(); !name.empty(); name = profiles->Next())
      if (IsSameIdentity(opened, platform.IdentityOf(folder + name)))
        return "The log \"" + log + "\" is the profile \"" + folder + name +
               "\" under another name (a link to it): a profile is never written to.";
    if (!opened.finalPath.empty() && IsIn(platform, opened.finalPath, folder))
      return "The log \"" + log + "\" leads into the folder of the profiles, \"" + folder +
             "\" (it is a link to \"" + opened.finalPath + "\"): a log there could be taken for a profile.";
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
      refused = CannotWrite(*line.log, e);
    }
    if (!refused.empty()) {  // before a byte is written to it
      refuse(refused);
      writer.CloseLog();
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
