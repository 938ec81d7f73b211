#pragma once
// Waiting a bounded time for something another process does.

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

namespace zelvane::testing {

// Polls `done` every few milliseconds until it holds or `bound` has passed. Returns how long it
// took when it held, and nothing when it did not.
inline std::optional<std::chrono::milliseconds> WaitUntil(const std::function<bool()>& done,
                                                          std::chrono::milliseconds bound) {
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (done()) return waited;
    if (waited >= bound) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace zelvane::testing
