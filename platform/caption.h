#pragma once
// The title of the tool's window and of every box it shows, the removal helper's included.

namespace zelvane {

inline constexpr char kCaption[] = "Zelvane";

}  // namespace zelvane
