#pragma once
// UTF-16 and UTF-8 inside the tool, in plain C++: the program reads its command line and every
// name the system lists through these, and the command-line fuzzer feeds them the same way.
//
// Windows names are sequences of UTF-16 units that need not be valid UTF-16: a name may hold a
// surrogate without its pair. Such a unit is carried as the three bytes UTF-8 would give its code
// point (the encoding called WTF-8), so that a name listed by the system reaches the system again
// unchanged. ValidUtf8 makes text fit for a report.

#include <cstdint>
#include <string>
#include <string_view>

namespace zelvane {

// `Unit` is wchar_t on Windows, char16_t elsewhere.
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
    const std::uint32_t low = i + 1 < text.size() ? static_cast<std::uint16_t>(text[i + 1]) : 0;
    if (c >= 0xD800 && c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    }
    if (c < 0x80) put(c, 1, 0);
    else if (c < 0x800) put(c, 2, 0xC0);
    else if (c < 0x10000) put(c, 3, 0xE0);  // a surrogate without its pair too
    else put(c, 4, 0xF0);
  }
  return out;
}

// The other way: what Utf8FromUtf16 made comes back unit for unit. A byte that begins no whole
// sequence becomes U+FFFD, as the system converts it.
template <class Unit>
std::basic_string<Unit> Utf16FromUtf8(std::string_view text) {
  std::basic_string<Unit> out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    const int more = lead < 0x80 ? 0 : lead >= 0xC2 && lead < 0xE0 ? 1 : lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xF0 && lead < 0xF5 ? 3 : -1;
    std::uint32_t c = more == 0 ? lead : more == 1 ? lead & 0x1Fu : more == 2 ? lead & 0x0Fu : lead & 0x07u;
    bool whole = more >= 0 && i + static_cast<std::size_t>(more) < text.size();
    for (int k = 1; whole && k <= more; ++k) {
      whole = (byte(i + static_cast<std::size_t>(k)) & 0xC0) == 0x80;
      c = c << 6 | (byte(i + static_cast<std::size_t>(k)) & 0x3Fu);
    }
    // No overlong forms, nothing past U+10FFFF.
    whole = whole && !(more == 2 && c < 0x800) && !(more == 3 && (c < 0x10000 || c > 0x10FFFF));
    if (!whole) {
      out += static_cast<Unit>(0xFFFD);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<Unit>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<Unit>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<Unit>(c);
    }
    i += static_cast<std::size_t>(more) + 1;
  }
  return out;
}

// `text` with every surrogate carried without its pair shown as U+FFFD: valid UTF-8.
inline std::string ValidUtf8(std::string_view text) {
  std::string out(text);
  for (std::size_t at = 0; (at = out.find('\xED', at)) != std::string::npos; ++at)
    if (at + 2 < out.size() && (static_cast<std::uint8_t>(out[at + 1]) & 0xE0) == 0xA0) out.replace(at, 3, "\xEF\xBF\xBD");
  return out;
}

}  // namespace zelvane
