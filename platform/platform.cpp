#include "platform/platform.h"

namespace zelvane {

PlatformError::PlatformError(std::string action, std::string path, std::string reason, Cause cause)
    : std::runtime_error(path + "\nCould not " + action + ". " + reason),
      action_(std::move(action)),
      path_(std::move(path)),
      reason_(std::move(reason)),
      cause_(cause) {}

bool EndsWithNoCase(std::string_view name, std::string_view suffix) {
  if (name.size() < suffix.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  const std::string_view tail = name.substr(name.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i)
    if (lower(tail[i]) != lower(suffix[i])) return false;
  return true;
}

}  // namespace zelvane
