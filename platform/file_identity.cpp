#include "platform/file_identity.h"

namespace zelvane {

namespace {

// All zeros or all ones: the number of a file system that has none to give.
bool IsKnown(const std::array<std::uint8_t, 16>& id) {
  bool zeros = true, ones = true;
  for (const std::uint8_t b : id) {
    zeros = zeros && b == 0;
    ones = ones && b == 0xFF;
  }
  return !zeros && !ones;
}

}  // namespace

std::array<std::uint8_t, 16> FileNumberOf(std::uint64_t number) {
  std::array<std::uint8_t, 16> id{};
  for (std::size_t i = 0; i < 8; ++i) id[i] = static_cast<std::uint8_t>(number >> (8 * i));
  return id;
}

bool IsSameIdentity(const std::optional<FileIdentity>& a, const std::optional<FileIdentity>& b) {
  if (!a || !b || a->folder != b->folder) return false;
  if (IsKnown(a->id) && IsKnown(b->id)) return a->volume == b->volume && a->id == b->id;
  return !a->finalPath.empty() && a->finalPath == b->finalPath;
}

bool Platform::IsSameFile(const std::string& a, const std::string& b) {
  return IsSameIdentity(IdentityOf(a), IdentityOf(b));
}

}  // namespace zelvane
