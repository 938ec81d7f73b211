#pragma once
// UTF-8 inside the tool, UTF-16 at the Windows API.

#include <string>
#include <string_view>

namespace zelvane {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The full path of the running program's executable. Throws PlatformError.
std::wstring ModulePath();

// The full form of a path a person typed, as Windows means it (GetFullPathNameW: taken from the
// current folder when relative, "." and ".." resolved, trailing dots and blanks dropped from the
// last name); empty when the system cannot give one.
std::wstring FullPathName(const std::wstring& path);

// The system's message for a Win32 error code, without the trailing line break.
std::string SystemMessage(unsigned long error);

}  // namespace zelvane
