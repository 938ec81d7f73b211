#pragma once
// Test support on Windows: the names in a folder, a file held open as another program holds it,
// and the processes a process started.

#include <windows.h>
#include <tlhelp32.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text_win32.h"
#include "testing/files.h"

namespace zelvane::testing {

// The names in a folder (files and folders, without "." and ".."), in the order the system lists
// them; none when it cannot be listed.
std::vector<std::wstring> Entries(const std::filesystem::path& folder);

// Holds a file open for reading until destroyed, sharing it as `share` says (FILE_SHARE_READ, as
// a viewer of it may; 0, as a program that keeps it to itself).
class FileHold {
 public:
  FileHold(const std::filesystem::path& path, DWORD share)
      : handle_(CreateFileW(Literal(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE)
      throw std::runtime_error("could not hold " + Utf8(path) + ": " + SystemMessage(GetLastError()));
  }
  ~FileHold() { CloseHandle(handle_); }
  FileHold(const FileHold&) = delete;
  FileHold& operator=(const FileHold&) = delete;

 private:
  HANDLE handle_;
};

// True when another program could open `path` for writing now, sharing it every way.
inline bool OthersMayWrite(const std::filesystem::path& path) {
  const HANDLE file = CreateFileW(Literal(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// The processes still running that `parent` started. Throws std::runtime_error when the system
// cannot tell.
inline std::vector<DWORD> ChildProcesses(DWORD parent) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    throw std::runtime_error("no process snapshot: " + SystemMessage(GetLastError()));
  std::vector<DWORD> children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent) children.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return children;
}

}  // namespace zelvane::testing
