// The figures of the benchmarks: a monotonic clock, the median of rounds and
// the machine-readable line "ratio NAME VALUE LIMIT" that ends each
// benchmark's output. The benchmarks print; nothing here passes or fails.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace test_support {

inline double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / frequency;
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

inline void PrintRatio(const char* name, double value, double limit) {
  std::printf("ratio %s %.3f %.2f\n", name, value, limit);
  std::fflush(stdout);
}

}  // namespace test_support
