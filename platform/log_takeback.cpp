#include "platform/log_takeback.h"

namespace zelvane {

bool IsOnlyOurs(std::optional<std::uint64_t> before, std::optional<std::uint64_t> now, std::string_view text,
                const ReadBytesAt& read) {
  if (!before || !now || *now <= *before || *now - *before > text.size()) return false;
  const auto size = static_cast<std::size_t>(*now - *before);
  const std::optional<std::string> tail = read(*before, size);
  return tail && *tail == text.substr(0, size);
}

}  // namespace zelvane
