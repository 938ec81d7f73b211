#pragma once
// How the Windows backend tells a failed system call: the system's own message for its error,
// and the PlatformError that carries it.

#include <windows.h>

#include <string>
#include <string_view>

namespace zelvane {

// The system's message for a Win32 error code, without the trailing line break. A message written
// for a name it is not given ("Bad EXE format for %1.") speaks of "the file" instead.
std::string SystemMessage(unsigned long error);

// Throws PlatformError for `action` on `path`, with the system's reason for `error`: the code the
// caller read with GetLastError right after the call that failed. The texts are views of what is
// at hand, so that making the arguments runs nothing that could change the code before it is read:
// Fail("read the file", path_, GetLastError()).
[[noreturn]] void Fail(std::string_view action, std::string_view path, DWORD error);

}  // namespace zelvane
