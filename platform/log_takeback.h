#pragma once
// Whether what a failed append left in a log may be cut away again: the rule both backends' logs
// follow, since several runs may append to one log at once.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zelvane {

// Reads `size` bytes of a file from `offset`; nothing when they cannot be read.
using ReadBytesAt = std::function<std::optional<std::string>(std::uint64_t offset, std::size_t size)>;

// After an append of `text` to a file that was `before` bytes long failed, and the file is now
// `now` bytes long (either nothing when it cannot be told): whether what reached it is to be cut
// away, which is so only when everything after `before` is the start of `text` (nobody else
// appended since). `read` is asked for those bytes only when there are no more of them than `text`.
bool IsOnlyOurs(std::optional<std::uint64_t> before, std::optional<std::uint64_t> now, std::string_view text,
                const ReadBytesAt& read);

}  // namespace zelvane
