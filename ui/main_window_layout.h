#pragma once
// Where MainWindow and its controls sit. Positions are kept in twips (1440 to the inch), so the window
// has the same physical size on every screen; pixels follow from the monitor's dots per inch.

namespace zelvane {

struct LayoutRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

inline constexpr int kTwipsPerInch = 1440;

// Relative to the client area of MainWindow.
inline constexpr LayoutRect kMainWindowClientTwips{0, 0, 4680, 2085};
inline constexpr LayoutRect kStatusLabelTwips{120, 120, 4455, 855};
inline constexpr LayoutRect kRunButtonTwips{1440, 1200, 1695, 615};

// twips × dpi / 1440, rounded half away from zero (the system's MulDiv).
int TwipsToPixels(int twips, int dpi);

// Each of the four values scaled on its own, as the controls are placed.
LayoutRect ControlRect(const LayoutRect& twips, int dpi);

}  // namespace zelvane
