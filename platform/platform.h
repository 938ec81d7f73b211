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
  // that could only be opened for reading fails here with the reason it could not be opened for
  // writing.
  virtual void WriteAt(std::uint64_t offset, std::string_view bytes) = 0;

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
