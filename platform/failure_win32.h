#pragma once
// How the Windows backend tells a failed system call: the system's own message for its error,
// and the PlatformError that carries it.

#include <windows.h>

#include <string>

namespace zelvane {

// The system's message for a Win32 error code, without the trailing line break.
std::string SystemMessage(unsigned long error);

// Throws PlatformError for `action` on `path`, with the system's reason for `error`.
[[noreturn]] void Fail(const std::string& action, const std::string& path, DWORD error = GetLastError());

}  // namespace zelvane
