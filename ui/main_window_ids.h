#pragma once
// What names the main window and its controls, for the window and for the programs that find and
// work it from outside (the end-to-end tests, the demo and the Wine benchmark). Plain constants;
// its caption is kCaption (platform/caption.h).

namespace zelvane::main_window {

inline constexpr int kStatusLabelId = 1001;
inline constexpr int kRunButtonId = 1002;
inline constexpr wchar_t kClassName[] = L"ZelvaneMainWindow";

// What the label says until Run is pressed, in UTF-8.
inline constexpr char kIntroduction[] =
    "This tool updates the format of the .qdx files (format profile) for correct reading in the new "
    "version of Quindrel (2.0.12).\r\n"
    "This tool must be in the same directory of Quindrel.";

}  // namespace zelvane::main_window
