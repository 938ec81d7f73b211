#pragma once
// Windows paths in the extended-length form ("\\?\C:\a\b", "\\?\UNC\server\share\a"), in which
// the system takes every name as it stands: "nul.qdx" and "con.qdx" are files like any other,
// trailing dots and spaces stay part of a name, and there is no MAX_PATH limit. Plain string
// work in UTF-8, so it is tested on every platform.

#include <string>
#include <string_view>

namespace zelvane {

// The extended-length form of the full path `path` ("C:\a", "\\server\share\a"): separators
// become backslashes, repeated ones collapse, "." and ".." segments are resolved; every other
// segment is kept byte for byte. A path already in the "\\?\" or "\\.\" form, or one that is not
// full, is returned unchanged.
std::string ExtendedLengthPath(std::string_view path);

// True when `path` names the same file from any current folder: "C:\a", "\\server\share\a",
// "\\?\...".
bool IsFullPath(std::string_view path);

// The everyday form of a path the system reported ("\\?\C:\a" is "C:\a", "\\?\UNC\s\x" is
// "\\s\x"), for messages and for joining; other paths unchanged.
std::string PlainPath(std::string_view path);

}  // namespace zelvane
