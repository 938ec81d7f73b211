#include "ui/main_window_layout.h"

#include <windows.h>

namespace zelvane {

int TwipsToPixels(int twips, int dpi) { return MulDiv(twips, dpi, kTwipsPerInch); }

LayoutRect ControlRect(const LayoutRect& twips, int dpi) {
  return {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi), TwipsToPixels(twips.width, dpi),
          TwipsToPixels(twips.height, dpi)};
}

}  // namespace zelvane
