#pragma once
// Test support on Windows: whether it is Wine, the names in a folder, and a file held open as
// another program holds it.

#include <windows.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/owned_handle_win32.h"
#include "platform/system_win32.h"
#include "testing/files.h"
#include "testing/process_win32.h"

namespace zelvane::testing {

// True when the tests run under Wine rather than Windows, for the few things Wine does otherwise;
// each test that asks says what.
inline bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// True when this process runs with an administrator's full rights (elevated, or not under UAC):
// Windows does not virtualise it, and it may write below Program Files and HKLM.
inline bool Elevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const OwnedHandle held(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) && elevation.TokenIsElevated;
}

// The names in a folder (files and folders, without "." and ".."), in the order the system lists
// them; none when it cannot be listed.
std::vector<std::wstring> Entries(const std::filesystem::path& folder);

// Under Wine: the Unix path Wine keeps `path` at (throws where there is none), and a Unix program
// run, as Wine lets a Windows program do, until `done` says it has done its work, since Wine cannot
// wait for a Unix process. False when that took more than ten seconds.
std::wstring UnixPath(const std::filesystem::path& path);
bool RunUnix(const std::wstring& program, const std::wstring& commandLine, const std::function<bool()>& done);

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

}  // namespace zelvane::testing
