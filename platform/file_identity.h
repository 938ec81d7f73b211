#pragma once
// Telling files apart by what the system knows them by (FileIdentity).

#include <array>
#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace zelvane {

// A file's number on its volume, as FileIdentity holds it, from a 64-bit one: its bytes from the
// lowest, the rest 0.
std::array<std::uint8_t, 16> FileNumberOf(std::uint64_t number);

// True when both identities are known and of the same file or folder: by volume and number where
// both numbers are known (some file systems have none, or cannot give one for every file),
// otherwise by the paths the system resolves them to.
bool IsSameIdentity(const std::optional<FileIdentity>& a, const std::optional<FileIdentity>& b);

}  // namespace zelvane
