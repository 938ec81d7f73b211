#pragma once
// The listing of a folder, with the call that reads its next name as a parameter: a test makes
// that call fail part-way, as a network share that drops does, and sees the listing say so
// rather than end early.

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace zelvane {

using FindNextCall = BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW);
std::unique_ptr<FileListing> ListFolder(const std::string& folder, std::string_view extension,
                                        FindNextCall findNext = FindNextFileW);

}  // namespace zelvane
