#pragma once
// What the tool takes from the operating system: profiles opened once from their first read to
// their last write, folder listings, its own location and its removal.

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

// One profile, open through one handle that no other program may write through while it is held.
// Offsets are 64-bit whatever the size of a pointer. Every failure throws PlatformError.
class ProfileFile {
 public:
  virtual ~ProfileFile() = default;  // closes the file if Close was not called

  // The size the file had when it was opened.
  virtual std::uint64_t Size() const = 0;

  // Reads up to `size` bytes at `offset`; fewer only where the file ends.
  virtual std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) = 0;

  // Writes all of `bytes` at `offset`, extending the file where they run past its end. A profile
  // that could only be opened for reading fails here, writing nothing, with the reason it could
  // not be opened for writing.
  virtual void WriteAt(std::uint64_t offset, std::string_view bytes) = 0;

  // True once any byte has reached the file through this handle, a write that failed part-way
  // included.
  virtual bool Written() const = 0;

  // Sets the file's length to `size`; used to take back a write that failed part-way.
  virtual void Truncate(std::uint64_t size) = 0;

  // Closes the file, reporting a failure to do so.
  virtual void Close() = 0;
};

enum class OpenFor : std::uint8_t {
  Reading,    // read only: nothing is ever written
  Upgrading,  // reading and writing; where writing is refused, reading only and WriteAt fails
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

  // Opens an existing file (never creating or shortening it), sharing it with readers only.
  virtual std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor purpose) = 0;

  // Lists `folder` (which ends in a separator). A missing folder lists nothing.
  virtual std::unique_ptr<FileListing> ListFiles(const std::string& folder,
                                                 std::string_view extension) = 0;

  // The folder the program runs from (no trailing separator but at a drive root).
  virtual std::string ProgramFolder() = 0;

  // The full form of `path`, taken from the current folder when it is relative.
  virtual std::string FullPath(const std::string& path) = 0;
  virtual bool IsFolder(const std::string& path) = 0;
  // True when both paths name the same existing folder, however each is written (letter case,
  // short names, links).
  virtual bool IsSameFolder(const std::string& a, const std::string& b) = 0;

  // Appends `text` to the file at `path`, creating it when there is none. Throws PlatformError.
  virtual void AppendToFile(const std::string& path, std::string_view text) = 0;
  // Writes `text` to the program's standard output when a script has sent it somewhere (a file,
  // a pipe); does nothing otherwise.
  virtual void WriteToStandardOutput(std::string_view text) = 0;
  // The local date and time, as "2026-12-07 14:20:05".
  virtual std::string LocalTimestamp() = 0;

  // Arranges that the running program's own executable (its image, whatever its name) is
  // removed once the program has ended; the caller then ends the program. Nothing else is ever
  // removed. Throws PlatformError, with the path and the reason, when the removal cannot succeed
  // (no right to delete the file, a read-only medium, another program holding it).
  virtual void RemoveProgramAfterExit() = 0;
};

Platform& SystemPlatform();

// When this process was started by RemoveProgramAfterExit as the helper that removes a program
// once it has ended, does that work and returns true: the caller then ends at once. A removal
// that fails then is shown by the helper itself. Otherwise false.
bool RunAsRemovalHelper();

// ASCII letter case aside, as the system compares file extensions.
bool EndsWithNoCase(std::string_view name, std::string_view suffix);

}  // namespace zelvane
