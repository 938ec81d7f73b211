#pragma once
// Dots per inch of the monitor a window is on, and what depends on them. The per-monitor calls
// arrived with Windows 10 (1607) and 8.1; they are looked up at run time, so the program also runs
// on Windows 7 and Wine, where the system-wide value stands in.

#include <windows.h>

namespace zelvane {

UINT SystemDpi();
UINT WindowDpi(HWND window);

// The outer size of a window whose client area is `clientWidth` × `clientHeight` at `dpi`.
SIZE WindowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi);

// The system's message font (the one message boxes use) at `dpi`. The caller owns the font.
HFONT CreateMessageFont(UINT dpi);

}  // namespace zelvane
