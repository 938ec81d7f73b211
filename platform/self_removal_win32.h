#pragma once
// Removal of the running program's own executable, which Windows keeps locked while it runs.

#include <string>

namespace zelvane {

// Starts a helper that removes the running program's own image, which `systemPath` names as the
// system calls want it and `path` as a person reads it, once the program has ended. Throws
// PlatformError when the removal cannot succeed or the helper cannot be started.
void RemoveImageAfterExit(const std::wstring& systemPath, const std::string& path);

}  // namespace zelvane
