#pragma once
// Small helpers shared by the benchmark programs: their options, timing, and medians. Files and
// temporary folders come from testing/.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zelvane::bench {

// The number that follows `name` on the command line (as in "--reps 3"), or `fallback`.
inline double Option(int argc, char** argv, const char* name, double fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atof(argv[i + 1]);
  return fallback;
}

template <class Work>
double SecondsOf(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Timings {
  std::vector<double> seconds;
  double Median() const {
    std::vector<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    return n == 0 ? 0 : n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
  double Min() const { return seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end()); }
};

inline double Mebibytes(double bytes) { return bytes / (1024.0 * 1024.0); }

// Never lets the optimiser drop a result.
template <class T>
void Keep(const T& value) {
  asm volatile("" : : "r"(&value) : "memory");
}

}  // namespace zelvane::bench
