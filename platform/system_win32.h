#pragma once
// What the Windows backend (platform_win32.cpp) offers the rest of the Windows code: text at the
// API, the system's messages and failures, paths and identities of files, and the listing and the
// log with the system calls a test makes fail as parameters.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace zelvane {

// ---- text: UTF-8 inside the tool, UTF-16 at the API, every unit carried both ways (text.h) ----

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// ---- failures ----

// The system's message for a Win32 error code, without the trailing line break. A message written
// for a name it is not given ("Bad EXE format for %1.") speaks of "the file" instead.
std::string SystemMessage(unsigned long error);

// Throws PlatformError for `action` on `path`, with the system's reason for `error`: the code the
// caller read with GetLastError right after the call that failed. The texts are views of what is
// at hand, so that making the arguments runs nothing that could change the code before it is read:
// Fail("read the file", path_, GetLastError()). A sharing or lock violation is Cause::InUse.
[[noreturn]] void Fail(std::string_view action, std::string_view path, DWORD error);

// ---- paths and files ----

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

// The file or folder open through `file`; nothing when the system cannot tell.
std::optional<FileIdentity> IdentityOfHandle(HANDLE file);
// The one at `systemPath` (in the "\\?\" form), links followed; nothing when there is none or it
// cannot be opened.
std::optional<FileIdentity> IdentityOfPath(const std::wstring& systemPath);

// Every kind of sharing, for a handle that must stand in no other's way.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Where a read, a write or a lock through a handle begins, whatever the handle's own position.
OVERLAPPED OverlappedAt(std::uint64_t offset);

// ---- each user's copies (Windows' file virtualisation), the run's rights as a parameter ----

// What Windows lets this run do with the users' copies, as its token says.
struct RunRights {
  bool virtualised = false;    // its writes below a virtualised place go to this user's own copies
  bool mayReadOthers = false;  // elevated or SYSTEM: other users' files may be read
  std::string userSid;         // whose run it is
};
RunRights RightsOfThisRun();

// What Windows makes of `folder` for a run with `rights`, when `places` are the places it
// virtualises (each as the system resolves it, links and junctions followed, as is `folder`).
FolderCopies CopiesFor(const std::string& folder, const RunRights& rights, std::vector<std::string> places);

// ---- the listing and the log, their system calls as parameters ----

// A test makes the call that reads the next name fail part-way, as a network share that drops
// does, and sees the listing say so rather than end early.
using FindNextCall = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);
std::unique_ptr<FileListing> ListFolder(const std::string& folder, std::string_view extension,
                                        FindNextCall findNext = FindNextFileW);

// A test makes the write or the flush fail part-way, as a disk that fills does, and sees what the
// log is given back.
struct LogCalls {
  BOOL(WINAPI* write)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = WriteFile;
  BOOL(WINAPI* flush)(HANDLE) = FlushFileBuffers;
};
std::unique_ptr<AppendFile> OpenLogFile(const std::string& path, LogCalls calls = {});

}  // namespace zelvane
