#pragma once
// Removal of the running program's own executable, which Windows keeps locked while it runs.

#include <windows.h>

namespace zelvane {

// Starts a helper that removes the file open through `image` (the running program's own image,
// held since the program started) once the program has ended. Throws PlatformError when the
// removal cannot succeed or the helper cannot be started.
void RemoveImageAfterExit(HANDLE image);

}  // namespace zelvane
