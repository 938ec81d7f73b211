#pragma once
// How the program removes its own executable once it has ended (Platform::RemoveProgramAfterExit):
// the line it starts its helper with, and the helper's side. On Windows, self_removal_win32.cpp
// tells the whole protocol.

#include <chrono>
#include <string>

namespace zelvane {

// The switch of the line RemoveProgramAfterExit starts its helper with:
//   "<copy of the program>" /zelvane-remove-after <process> <process id> <image> "<path>"
inline constexpr char kRemovalSwitch[] = "/zelvane-remove-after";

// The values of the helper's line, as they stand on it.
struct RemovalRequest {
  std::string handle;     // an inherited handle to the process that asked, in decimal
  std::string processId;  // that process's id, in decimal
  std::string image;      // an inherited handle, in decimal, to the file to remove, open for deletion
  std::string path;       // where that file was when the removal was asked for, to name it by
};

// When `request` is one RemoveProgramAfterExit made (the handles are inherited handles to the
// process named by the id and to a file on a disk), works as the helper that removes that file
// through its handle once the process has ended, and returns true: the caller then ends at once.
// A file still held by another program is waited for for `patience`; a removal that fails is
// shown by the helper itself, in a box of its own. Otherwise false, having done nothing.
bool RunAsRemovalHelper(const RemovalRequest& request, std::chrono::milliseconds patience = std::chrono::seconds(10));

}  // namespace zelvane
