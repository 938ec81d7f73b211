#include "format/layout_walk.h"

namespace zelvane {

std::uint64_t HopOverTextsAndBytes(ByteCursor& cursor, const Layout& layout, std::uint64_t count) {
  const std::size_t fields = layout.fields.size();
  if (fields == 0 || fields > 64) return 0;
  std::uint64_t texts = 0;  // bit i: field i is a text
  for (std::size_t i = 0; i < fields; ++i) {
    if (layout.fields[i].kind == Kind::Text) texts |= std::uint64_t{1} << i;
    else if (layout.fields[i].kind != Kind::Byte) return 0;
  }
  // Addresses as integers: a text's length may point past the bytes in hand, which only a
  // comparison then sees. Each hop is one load away from the last, as in a loop that does
  // nothing else.
  const std::span<const unsigned char> inHand = cursor.InHand();
  const auto start = reinterpret_cast<std::uintptr_t>(inHand.data());
  const std::uintptr_t end = start + inHand.size();
  std::uintptr_t at = start;  // the end of the records taken whole
  std::uint64_t taken = 0;
  for (; taken < count; ++taken) {
    std::uintptr_t next = at;
    bool whole = true;
    for (std::size_t i = 0; i < fields && whole; ++i) {
      if (!(texts >> i & 1)) {
        whole = next != end;
        next += 1;
      } else if ((whole = end - next >= 2)) {
        const auto* length = reinterpret_cast<const unsigned char*>(next);
        next += 2 + static_cast<std::uintptr_t>(length[0] | length[1] << 8);
        whole = next <= end;
      }
    }
    if (!whole) break;
    at = next;
  }
  cursor.Pass(static_cast<std::size_t>(at - start));
  return taken;
}

}  // namespace zelvane
