#pragma once
// UTF-8 inside the tool, UTF-16 at the Windows API, every unit carried both ways (platform/text.h).

#include <string>
#include <string_view>

namespace zelvane {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace zelvane
