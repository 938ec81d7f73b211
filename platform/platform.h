#pragma once
// What the tool takes from the operating system: profiles opened once from their first read to
// their last write, folder listings, its own location and its removal.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelvane {

// Why a call failed, where that changes what a person is to do about it.
enum class Cause : std::uint8_t {
  Other,
  InUse,  // another program holds the file (a sharing or lock violation): close it and try again
  Link,   // the name leads to another file, or to no file on a disk (a link, a junction, a pipe): left as it is
};

// A failed operating-system call, with what a person needs to act on it. Paths are UTF-8.
class PlatformError : public std::runtime_error {
 public:
  PlatformError(std::string action, std::string path, std::string reason, Cause cause = Cause::Other);
  const std::string& Action() const { return action_; }  // e.g. "open the file for writing"
  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }  // the system's own message
  Cause Why() const { return cause_; }

 private:
  std::string action_, path_, reason_;
  Cause cause_;
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
  // opened for reading fails here, writing nothing.
  virtual void WriteAt(std::uint64_t offset, std::string_view bytes) = 0;

  // True from the first call of WriteAt that reached the system on: a write that failed may still
  // have changed the file (a disk that filled, a share that dropped).
  virtual bool Written() const = 0;

  // Sets the file's length to `size`; used to take back a write that failed part-way.
  virtual void Truncate(std::uint64_t size) = 0;

  // Closes the file, reporting a failure to do so.
  virtual void Close() = 0;
};

enum class OpenFor : std::uint8_t {
  Reading,  // read only: nothing is ever written
  Writing,  // reading and writing; refused (PlatformError) where writing is
};

class FileListing {
 public:
  virtual ~FileListing() = default;
  // The bare name of the next ordinary file (not hidden, not system, not a folder) whose name
  // ends in the listing's extension, letter case aside; the empty text when there is none.
  virtual std::string Next() = 0;
};

// A listing of names already read, given in their order.
class NameListing : public FileListing {
 public:
  explicit NameListing(std::vector<std::string> names) : names_(std::move(names)) {}
  std::string Next() override { return next_ < names_.size() ? names_[next_++] : std::string(); }

 private:
  std::vector<std::string> names_;
  std::size_t next_ = 0;
};

// What the system knows a file or folder by, for telling whether two paths name the same one.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::array<std::uint8_t, 16> id{};  // its number on the volume; all 0 or all 1 bits: not known
  std::string finalPath;              // the path the system resolves it to; empty: not known
  bool folder = false;
  std::uint32_t links = 0;            // the names it has (hard links); 0: not known
};

// A file that a report is appended to, held open from the first line to the last, and shared
// with other writers: several runs may append to one log.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // Appends all of `text` in one write that the system places at the end of the file as it is
  // then, whoever else appends, so that lines of several writers never mix; with `flush`, makes
  // sure that it has reached the disk (or the server of a share). When that cannot be done,
  // PlatformError says why, and what reached the file is taken back while the file still ends
  // with it alone; otherwise it is left, and EndsWhole says so.
  virtual void Append(std::string_view text, bool flush = false) = 0;
  // False once a failed Append left bytes that could not be taken back: the file may then end
  // inside a text.
  virtual bool EndsWhole() const = 0;
  // True when the file is empty or its last byte ends a line (or it cannot be read to tell).
  virtual bool EndsWithLineBreak() = 0;
  // The file that was opened, whatever name led to it. Throws PlatformError.
  virtual FileIdentity Identity() = 0;
  // True once another writer held the lock that appenders take turns by for longer than a run
  // waits (a run that hangs): this one then appends without waiting for it.
  virtual bool LockAbandoned() const = 0;
  // Removes the file when this open created it and it is still empty: a log that is refused, or
  // that could not take its first line, leaves nothing behind. Never fails.
  virtual void RemoveIfCreated() noexcept = 0;
};

// A user's own copy of a folder, which Windows keeps for the programs it virtualises: their
// writes there go to it, and from then on they read it in place of the installed file.
struct UserCopy {
  std::string user;         // as a person knows them: the name of their profile folder
  std::string folder;       // their copy of the folder, ending in a separator
  std::string unreachable;  // why it could not be looked at; empty when it was
  bool absent = false;      // unreachable since the profile folder is not on this machine
  bool link = false;        // unreachable since a link in the copies' path leads elsewhere: left as it was
};

// What Windows makes of a folder for this run.
struct FolderCopies {
  // This run is virtualised and the folder is in a place Windows virtualises: what it writes goes
  // to this user's own copies, and what it reads comes from them where they exist.
  bool virtualised = false;
  // A run that is not virtualised, over a folder in such a place: every user's copy of it that
  // exists, and each user whose copies could not be looked at; in a run that may not read other
  // users' files (neither elevated nor SYSTEM's), this user's own copies alone.
  std::vector<UserCopy> users;
  // Such a run left other users' copies unread: they were not looked at.
  bool othersUnread = false;
};

class Platform {
 public:
  virtual ~Platform() = default;

  virtual char Separator() const = 0;  // between a folder and a name

  // Opens an existing file (never creating or shortening it), sharing it with readers only. A
  // program whose writes Windows keeps in per-user copies (file virtualisation) gets such a copy
  // made by an open for writing alone, so profiles are opened for writing only to be changed.
  virtual std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor purpose) = 0;

  // Lists `folder` (which ends in a separator). A missing folder lists nothing.
  virtual std::unique_ptr<FileListing> ListFiles(const std::string& folder,
                                                 std::string_view extension) = 0;

  // What Windows makes of `folder` (which ends in a separator) for this run: the run's own writes
  // going to this user's copies, or every user's copies of it. Nothing on systems without file
  // virtualisation.
  virtual FolderCopies CopiesOf(const std::string& folder) = 0;

  // The folder the program runs from (no trailing separator but at a drive root).
  virtual std::string ProgramFolder() = 0;
  // The running program's own executable, as a full path: the name it was started by.
  virtual std::string ProgramFile() = 0;

  // The full form of a path a person typed, as the system means it: taken from the current
  // folder when relative, "." and ".." resolved, and on Windows trailing dots and blanks dropped
  // from its last name. Names listed from a folder are never passed through this. Throws
  // PlatformError.
  virtual std::string FullPath(const std::string& path) = 0;
  virtual bool IsFolder(const std::string& path) = 0;
  // The existing file or folder at `path`, links followed; nothing when there is none or the
  // system cannot tell.
  virtual std::optional<FileIdentity> IdentityOf(const std::string& path) = 0;
  // True when both paths name the same existing file, or the same existing folder, however each
  // is written (letter case, short names, links).
  bool IsSameFile(const std::string& a, const std::string& b);

  // Opens the file at `path` for appending, creating it when there is none: the file its name
  // itself names, never one a link leads to. A name that is a link, or a file with more than one
  // name, and in a run that may read every user's files (elevated or SYSTEM) a file whose final
  // path is not `path` (a link in its way), is refused (PlatformError, Cause::Link, the reason
  // saying what it is), and what the open created is removed. Throws PlatformError.
  virtual std::unique_ptr<AppendFile> OpenForAppending(const std::string& path) = 0;
  // Writes `text` to the program's standard output when a script has sent it somewhere (a file,
  // a pipe); does nothing otherwise. Never waits for a reader: on Windows a writer of its own takes
  // it, and what a reader that never reads leaves unwritten beyond a bounded amount is given up.
  virtual void WriteToStandardOutput(std::string_view text) = 0;
  // Waits at most `bound` for what was written to standard output to reach it. False when some of
  // it was given up (nobody read it): standard output then ends early.
  virtual bool FinishStandardOutput(std::chrono::milliseconds bound) = 0;
  // The local date and time, as "2026-12-07 14:20:05".
  virtual std::string LocalTimestamp() = 0;

  // Arranges that the running program's own executable (its image, whatever its name, and whatever
  // has been put at that name since it started) is removed once the program has ended; the caller
  // then ends the program. Nothing else is ever removed or started. Throws PlatformError, with the
  // path and the reason, when the removal cannot succeed (no right to delete the file, a read-only
  // medium, another program holding it).
  virtual void RemoveProgramAfterExit() = 0;
};

Platform& SystemPlatform();

// ASCII letter case aside, as the system compares file extensions.
bool EndsWithNoCase(std::string_view name, std::string_view suffix);

}  // namespace zelvane
