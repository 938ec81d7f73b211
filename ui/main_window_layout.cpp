#include "ui/main_window_layout.h"

#include <cstdint>

namespace zelvane {

int TwipsToPixels(int twips, int dpi) {
  const std::int64_t product = static_cast<std::int64_t>(twips) * dpi;
  const std::int64_t half = kTwipsPerInch / 2;
  const std::int64_t rounded = product >= 0 ? (product + half) / kTwipsPerInch : (product - half) / kTwipsPerInch;
  return static_cast<int>(rounded);
}

LayoutRect ControlRect(const LayoutRect& twips, int dpi) {
  return {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi), TwipsToPixels(twips.width, dpi),
          TwipsToPixels(twips.height, dpi)};
}

}  // namespace zelvane
