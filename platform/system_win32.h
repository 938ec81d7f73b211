#pragma once
// The Windows backend, concern by concern, as the rest of the Windows code may use it. Each part
// below is one file of the backend; platform_win32.cpp puts them together as the Platform. The
// system calls a test makes fail are parameters here (the listing's, the log's, the writer's).

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace zelvane {

// ---- system_win32.cpp: text at the API, the system's messages and failures, paths, handles ----

// UTF-8 inside the tool, UTF-16 at the API, every unit carried both ways (text.h).
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The system's message for a Win32 error code, without the trailing line break. A message written
// for a name it is not given ("Bad EXE format for %1.") speaks of "the file" instead.
std::string SystemMessage(unsigned long error);

// Throws PlatformError for `action` on `path`, with the system's reason for `error`: the code the
// caller read with GetLastError right after the call that failed. The texts are views of what is
// at hand, so that making the arguments runs nothing that could change the code before it is read:
// Fail("read the file", path_, GetLastError()). A sharing or lock violation is Cause::InUse.
[[noreturn]] void Fail(std::string_view action, std::string_view path, DWORD error);

// The text a system call writes into a buffer of the size it is given, the buffer grown until the
// whole text fits: `call(buffer, size)` returns the length written, or when the buffer is too
// small the size it needs (GetFullPathNameW) or the size it was given (GetModuleFileNameW), or 0
// when it fails (and the text is then empty).
template <class Call>
std::wstring SystemText(Call call) {
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = call(text.data(), static_cast<DWORD>(text.size()));
    if (n < text.size()) {
      text.resize(n);
      return text;
    }
    text.resize(std::max<std::size_t>(n, text.size() * 2));
  }
}

// The full path of the running program's executable: the name it was started by. Throws
// PlatformError.
std::wstring ModulePath();

// The full form of a path a person typed, as Windows means it (GetFullPathNameW: taken from the
// current folder when relative, "." and ".." resolved, trailing dots and blanks dropped from the
// last name); empty when the system cannot give one.
std::wstring FullPathName(const std::wstring& path);

// `path` as it reaches the system: in the extended-length ("\\?\") form, so that the names in it
// are taken as they stand ("nul.qdx" is a profile, not the null device); one that is not full is
// made full as a typed one is.
std::wstring SystemPath(const std::string& path);

// The short (8.3) form of the path of a file that exists; empty when the system cannot give one.
std::wstring ShortPathName(const std::wstring& path);

// Every kind of sharing, for a handle that must stand in no other's way.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Where a read, a write or a lock through a handle begins, whatever the handle's own position.
OVERLAPPED OverlappedAt(std::uint64_t offset);

// ERROR_SUCCESS, or why not all of `text` could be written through `write`, each piece where the
// handle writes it.
using WriteCall = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
DWORD WriteAll(HANDLE file, std::string_view text, WriteCall write = WriteFile);

// The file or folder open through `file`; nothing when the system cannot tell.
std::optional<FileIdentity> IdentityOfHandle(HANDLE file);
// The one at `systemPath` (in the "\\?\" form), links followed; nothing when there is none or it
// cannot be opened.
std::optional<FileIdentity> IdentityOfPath(const std::wstring& systemPath);

// The full path of what is open through `file`, as the system resolves it (links, junctions and
// short names followed), in its everyday form; empty when the system cannot tell.
std::string FinalPathOf(HANDLE file);

// True when two full paths name the same place as Windows compares names: letter case aside.
bool IsSameName(std::string_view a, std::string_view b);

// How a profile and a log are opened: a link at the last name is opened itself, not followed, and
// a server at the other end of a pipe may only identify this program, never act as it.
constexpr DWORD kNoLinkFollowed = FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

// Where what is open through `file` lies, as the system names the object: its volume's device
// and its path there, links, junctions and short names followed ("\Device\HarddiskVolume3\Users\a",
// as GetFinalPathNameByHandleW with VOLUME_NAME_NT has it); empty when the system cannot tell.
std::string ObjectPathOf(HANDLE file);

// What a profile's handle shows of the file (three cheap questions to the file system).
struct FileFacts {
  DWORD type = FILE_TYPE_UNKNOWN;  // GetFileType: a file on a disk, a pipe, a device
  DWORD attributes = 0;
  DWORD links = 0;
  std::uint64_t size = 0;
};
// Throws PlatformError for `action` on `path` when the system cannot tell.
FileFacts FactsOf(HANDLE file, std::string_view action, std::string_view path);

// Why what is open through `file` (opened with kNoLinkFollowed), of `facts`, is not a file of its
// own at `expected` (as ObjectPathOf names it): no file on a disk (a pipe, a device), a link, a file
// with another name too (a hard link), or one that lies elsewhere (a junction or a link in its way);
// empty when it is one.
std::string NotItsOwnFile(HANDLE file, const FileFacts& facts, const std::string& expected);

// Each folder a run works in, as the system resolved it the first time it was asked (links and
// junctions followed): a file opened from it must lie there, whatever a link put in its way since.
class ResolvedFolders {
 public:
  // Where `folder` (ending in a separator) lies, as ObjectPathOf names it, ending in a separator;
  // empty when the system cannot tell.
  const std::string& Of(const std::string& folder);

 private:
  std::vector<std::pair<std::string, std::string>> known_;
};

// Refuses, for the rest of the process, to follow a junction or link that a user who is no
// administrator made (RedirectionGuard, Windows 10 22H2 and later; nothing where Windows lacks it).
void EnableRedirectionGuard();

// ---- profile_file_win32.cpp: a profile, opened through one handle ----

// Opens the profile at `path` (Platform::OpenProfile), which must be a file of its own at
// `expected` (see NotItsOwnFile), and otherwise is refused with Cause::Link.
std::unique_ptr<ProfileFile> OpenProfileFile(const std::string& path, const std::string& expected, OpenFor purpose);

// ---- listing_win32.cpp: a folder's listing ----

// A test makes the call that reads the next name fail part-way, as a network share that drops
// does, and sees the listing say so rather than end early.
using FindNextCall = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);
std::unique_ptr<FileListing> ListFolder(const std::string& folder, std::string_view extension,
                                        FindNextCall findNext = FindNextFileW);

// ---- log_file_win32.cpp: the log ----

// A test makes the write or the flush fail part-way, as a disk that fills does, or the cut that
// takes it back, and sees what the log is given back; refuses reading it, as a folder that lets
// its users append and no more does; and sets the clock a wait is measured by.
struct LogCalls {
  WriteCall write = WriteFile;
  BOOL(WINAPI* flush)(HANDLE) = FlushFileBuffers;
  ULONGLONG(WINAPI* tick)() = GetTickCount64;  // the wait for another appender's lock
  HANDLE(WINAPI* create)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) = CreateFileW;
  BOOL(WINAPI* setInformation)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) = SetFileInformationByHandle;
};
// The one byte of a log that its appenders take turns by, locked: far beyond any end a log can have.
constexpr std::uint64_t kLogLockAt = 0x7FFFFFFF'FFFFFFF0;
// Platform::OpenForAppending. `privileged`: the run may read every user's files, and refuses a log
// whose final path is not `path` (a link in its way).
std::unique_ptr<AppendFile> OpenLogFile(const std::string& path, bool privileged, LogCalls calls = {});

// ---- users_copies_win32.cpp: each user's copies (Windows' file virtualisation) ----

// What Windows lets this run do with the users' copies, as its token says.
struct RunRights {
  bool virtualised = false;    // its writes below a virtualised place go to this user's own copies
  bool mayReadOthers = false;  // elevated or SYSTEM: other users' files may be read
  std::string userSid;         // whose run it is
};
RunRights RightsOfThisRun();

// The places Windows virtualises for a program it runs so (the Program Files folders, ProgramData,
// the Windows folder), as the system names them.
std::vector<std::string> VirtualisedPlaces();

// What Windows makes of `folder` for a run with `rights`, when `places` are the places it
// virtualises (each as the system resolves it, links and junctions followed, as is `folder`). Each
// user's copies are held to lie in that user's profile folder, as resolved, under
// "\AppData\Local\VirtualStore" name for name: those a link leads elsewhere are left as they are;
// `folders` keeps where the others lie, as found then, for the files opened from them.
FolderCopies CopiesFor(const std::string& folder, const RunRights& rights, std::vector<std::string> places,
                       ResolvedFolders& folders);

// ---- standard_output_win32.cpp: standard output ----

// Writes to a file or a pipe by a thread of its own, so that a reader that reads late, or never,
// cannot hold up its caller: up to kMost bytes wait to be written; beyond that, and once a reader
// has not taken them in time, what is written is given up. Never freed (new, never deleted): its
// thread may still be held in a write when the process ends. A lock and condition variables of the
// system's own, which a thread started by CreateThread uses.
class OutputWriter {
 public:
  explicit OutputWriter(HANDLE out, WriteCall write = WriteFile);
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;
  void Write(std::string_view text);
  // Waits at most `bound` for what was written to have reached the file or pipe, the write in hand
  // too. False when some of it was given up: a write failed, the writer had too much waiting, or
  // nobody read in time, and then it is not waited for again.
  bool Finish(std::chrono::milliseconds bound);

 private:
  static constexpr std::size_t kMost = 1 << 20;
  static DWORD WINAPI Loop(void* self);
  [[noreturn]] void Drain();

  HANDLE out_;
  WriteCall write_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE wake_ = CONDITION_VARIABLE_INIT, drained_ = CONDITION_VARIABLE_INIT;
  std::string pending_;
  bool writing_ = false, givenUp_ = false, abandoned_ = false;
};

// This process's standard output (Platform::WriteToStandardOutput and FinishStandardOutput): a
// console is written at once, in UTF-16; a file or a pipe through an OutputWriter; nowhere, nothing.
void WriteProcessOutput(std::string_view text);
bool FinishProcessOutput(std::chrono::milliseconds bound);

}  // namespace zelvane
