#pragma once
// Test support on Windows: the names in a folder, a file held open as another program holds it,
// starting a process, and the processes a process started.

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/failure_win32.h"
#include "platform/owned_handle_win32.h"
#include "platform/text_win32.h"
#include "testing/files.h"

namespace zelvane::testing {

// True when the tests run under Wine rather than Windows, for the few things Wine does otherwise;
// each test that asks says what.
inline bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The names in a folder (files and folders, without "." and ".."), in the order the system lists
// them; none when it cannot be listed.
std::vector<std::wstring> Entries(const std::filesystem::path& folder);

// Holds a file open for reading until destroyed, sharing it as `share` says (FILE_SHARE_READ, as
// a viewer of it may; 0, as a program that keeps it to itself).
class FileHold {
 public:
  FileHold(const std::filesystem::path& path, DWORD share)
      : handle_(CreateFileW(Literal(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
    if (!handle_.Valid()) throw std::runtime_error("could not hold " + Utf8(path) + ": " + SystemMessage(GetLastError()));
  }

 private:
  OwnedHandle handle_;
};

// True when another program could open `path` for writing now, sharing it every way.
inline bool OthersMayWrite(const std::filesystem::path& path) {
  return OwnedHandle(CreateFileW(Literal(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr))
      .Valid();
}

// Starts a process: `attempt` makes one start (CreateProcessW and whatever it needs afresh) and
// returns what CreateProcessW returned. Under Wine a start is now and then lost before the new
// process runs anything of its own, and CreateProcessW fails with ERROR_INTERNAL_ERROR, which
// Windows does not give for a program that exists; such a start is made again, three attempts in
// all, and each loss is said on standard error. The last error is the last attempt's.
template <class Attempt>
BOOL StartProcess(Attempt attempt) {
  for (int made = 1;; ++made) {
    if (attempt()) return TRUE;
    const DWORD error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR || made == 3) {
      SetLastError(error);
      return FALSE;
    }
    std::fprintf(stderr, "a process start was lost before the program ran (%s); starting it again\n",
                 SystemMessage(error).c_str());
  }
}

// The processes still running that `parent` started. Throws std::runtime_error when the system
// cannot tell.
inline std::vector<DWORD> ChildProcesses(DWORD parent) {
  const OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) throw std::runtime_error("no process snapshot: " + SystemMessage(GetLastError()));
  std::vector<DWORD> children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
    if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent) children.push_back(entry.th32ProcessID);
  return children;
}

}  // namespace zelvane::testing
