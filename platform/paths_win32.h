#pragma once
// Full paths from the system: the running program's own, and that of a path a person typed.

#include <string>

namespace zelvane {

// The full path of the running program's executable. Throws PlatformError.
std::wstring ModulePath();

// The full form of a path a person typed, as Windows means it (GetFullPathNameW: taken from the
// current folder when relative, "." and ".." resolved, trailing dots and blanks dropped from the
// last name); empty when the system cannot give one.
std::wstring FullPathName(const std::wstring& path);

}  // namespace zelvane
