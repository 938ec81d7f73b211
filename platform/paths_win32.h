#pragma once
// Paths and files as the system knows them: the running program's own path, the full form of a
// path a person typed, and what a file or folder is, by its handle or its path.

#include <windows.h>

#include <optional>
#include <string>

#include "platform/platform.h"

namespace zelvane {

// The full path of the running program's executable: the name it was started by. Throws
// PlatformError.
std::wstring ModulePath();

// The full form of a path a person typed, as Windows means it (GetFullPathNameW: taken from the
// current folder when relative, "." and ".." resolved, trailing dots and blanks dropped from the
// last name); empty when the system cannot give one.
std::wstring FullPathName(const std::wstring& path);

// The file or folder open through `file`; nothing when the system cannot tell.
std::optional<FileIdentity> IdentityOfHandle(HANDLE file);
// The one at `systemPath` (in the "\\?\" form), links followed; nothing when there is none or it
// cannot be opened.
std::optional<FileIdentity> IdentityOfPath(const std::wstring& systemPath);

}  // namespace zelvane
