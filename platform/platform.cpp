#include "platform/platform.h"

namespace zelvane {

PlatformError::PlatformError(std::string action, std::string path, std::string reason, Cause cause)
    : std::runtime_error(path + "\nCould not " + action + ". " + reason),
      action_(std::move(action)),
      path_(std::move(path)),
      reason_(std::move(reason)),
      cause_(cause) {}

namespace {

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

bool IsOnlyOurs(std::optional<std::uint64_t> before, std::optional<std::uint64_t> now, std::string_view text,
                const ReadBytesAt& read) {
  if (!before || !now || *now <= *before || *now - *before > text.size()) return false;
  const auto size = static_cast<std::size_t>(*now - *before);
  const std::optional<std::string> tail = read(*before, size);
  return tail && *tail == text.substr(0, size);
}

bool EndsWithNoCase(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  const std::string_view tail = name.substr(name.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i)
    if (lower(tail[i]) != lower(suffix[i])) return false;
  return true;
}

}  // namespace zelvane
