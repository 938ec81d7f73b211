#pragma once
// UTF-16 to UTF-8 as Windows converts it (WideCharToMultiByte, CP_UTF8), in plain C++: the
// program reads its command line through it, and the command-line fuzzer feeds it the same way.

#include <cstdint>
#include <string>
#include <string_view>

namespace zelvane {

// `Unit` is wchar_t on Windows, char16_t elsewhere. A surrogate without its pair becomes U+FFFD.
template <class Unit>
std::string Utf8FromUtf16(std::basic_string_view<Unit> text) {
  std::string out;
  out.reserve(text.size());
  const auto put = [&out](std::uint32_t c, int bytes, std::uint32_t lead) {
    out += static_cast<char>(lead | c >> (6 * (bytes - 1)));
    for (int i = bytes - 2; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = static_cast<std::uint16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDFFF) {
      const std::uint32_t low = i + 1 < text.size() ? static_cast<std::uint16_t>(text[i + 1]) : 0;
      if (c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      } else {
        c = 0xFFFD;
      }
    }
    if (c < 0x80) put(c, 1, 0);
    else if (c < 0x800) put(c, 2, 0xC0);
    else if (c < 0x10000) put(c, 3, 0xE0);
    else put(c, 4, 0xF0);
  }
  return out;
}

}  // namespace zelvane
