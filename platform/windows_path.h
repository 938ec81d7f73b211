#pragma once
// Windows paths in the extended-length form ("\\?\C:\a\b", "\\?\UNC\server\share\a"), in which
// the system takes every name as it stands: "nul.qdx" and "con.qdx" are files like any other,
// trailing dots and spaces stay part of a name, and there is no MAX_PATH limit. Plain string
// work in UTF-8, so it is tested on every platform.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Where Windows keeps a user's own copies of the files in `folder` (a full path, as the system
// resolves it) for a program it virtualises: the part of `folder` after its drive, when `folder` is
// one of `places` or lies below one (the Program Files folders, ProgramData, the Windows folder),
// letter case aside; nothing otherwise, a network path included. The copies are then in the user's
// "<profile>\AppData\Local\VirtualStore" followed by that part.
std::optional<std::string> VirtualisedPart(std::string_view folder, const std::vector<std::string>& places);

// True when a security identifier of the system's list of user profiles names a person's
// account (a local or domain user, S-1-5-21-..., or a Microsoft Entra one, S-1-12-1-...), not one
// of the system's service accounts (S-1-5-18, -19, -20 and the other S-1-5 authorities).
bool IsPersonsAccount(std::string_view sid);

// The security identifier a key of the system's list of user profiles is for: its name, without
// the ".bak" Windows gives the key of a profile it could not load (and then lists the user again).
std::string_view SidOfProfileKey(std::string_view key);

// The name a person knows the user of `profileFolder` by: the last name in its path, whatever
// separators end it ("C:\Users\alice\" is alice's); a profile folder at the root of a drive has
// none, and its user is known by `sid`.
std::string UserNameOf(std::string_view profileFolder, std::string_view sid);

}  // namespace zelvane
