#pragma once
// The listing of a folder, with the call that reads its next name as a parameter: a test makes
// that call fail part-way, as a network share that drops does, and sees the listing say so
// rather than end early.

#include <dirent.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace zelvane {

using ReadDirCall = dirent* (*)(DIR*);
std::unique_ptr<FileListing> ListFolder(const std::string& folder, std::string_view extension,
                                        ReadDirCall readDir = ::readdir);

}  // namespace zelvane
