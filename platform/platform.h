#pragma once
// What the tool takes from the operating system: whole-file reads, writes at an offset, folder
// listings, its own location and its removal. Each file operation opens the file, does its work
// and closes it before it returns, so no handle outlives a call.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zelvane {

// A failed operating-system call, with what a person needs to act on it. Paths are UTF-8.
class PlatformError : public std::runtime_error {
 public:
  PlatformError(std::string action, std::string path, std::string reason);
  const std::string& Action() const { return action_; }  // e.g. "open the file for writing"
  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }  // the system's own message

 private:
  std::string action_, path_, reason_;
};

class FileListing {
 public:
  virtual ~FileListing() = default;
  // The bare name of the next ordinary file (not hidden, not system, not a folder) whose name
  // ends in the listing's extension, letter case aside; the empty text when there is none.
  virtual std::string Next() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual char Separator() const = 0;  // between a folder and a name

  // The whole file, read through a handle opened for reading only. Throws PlatformError.
  virtual std::string ReadWholeFile(const std::string& path) = 0;

  // Writes `bytes` at `offset` of an existing file, through a handle opened for writing only and
  // without sharing. Bytes outside [offset, offset + size) are untouched; the file grows where the
  // write runs past its end and is never shortened or created. Throws PlatformError.
  virtual void WriteAt(const std::string& path, std::uint64_t offset, std::string_view bytes) = 0;

  // Lists `folder` (which ends in a separator). A missing folder lists nothing.
  virtual std::unique_ptr<FileListing> ListFiles(const std::string& folder,
                                                 std::string_view extension) = 0;

  // The folder the program runs from (no trailing separator but at a drive root) and the file
  // name of its executable without the extension.
  virtual std::string ProgramFolder() = 0;
  virtual std::string ProgramName() = 0;

  // Removes the file at `path`. When it is the running program's own executable, the removal
  // happens once the program has ended; the caller then ends the program. Throws PlatformError
  // when the removal cannot be arranged.
  virtual void RemoveAfterExit(const std::string& path) = 0;
};

Platform& SystemPlatform();

// When this process was started by RemoveAfterExit as the helper that removes a program once it
// has ended, does that work and returns true: the caller then ends at once. Otherwise false.
bool RunAsRemovalHelper();

// ASCII letter case aside, as the system compares file extensions.
bool EndsWithNoCase(std::string_view name, std::string_view suffix);

}  // namespace zelvane
