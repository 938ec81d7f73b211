#pragma once
// Removal of the running program's own executable, which Windows keeps locked while it runs.

#include <string>

namespace zelvane {

// Removes the file at `path`, which `systemPath` names as the system calls want it. When that
// file is the running program's own executable, starts a helper that removes it once the program
// has ended instead. Throws PlatformError.
void RemoveFileOrAfterExit(const std::wstring& systemPath, const std::string& path);

}  // namespace zelvane
