//===- lexset-jobtime.cpp - Time of one whole job, measured in process ---===//
//
// lexset-jobtime SOURCE RESULT [ITERATIONS]
//
// Runs lexset's file job (the one behind the Start button) on SOURCE again
// and again and prints the median, the fastest and the 90th percentile job
// time in microseconds. Process start-up is left out, so this is the figure
// for "a small list finishes at once": opening, reading, sorting, writing
// the new result and putting it in place, flush to disk included.
//
// Output, one line: median_us=... min_us=... p90_us=... iterations=...
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/TidyJob.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: lexset-jobtime SOURCE RESULT [ITERATIONS]\n");
    return 2;
  }
  const std::string source = argv[1], result = argv[2];
  const long iterations = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 1000;
  if (iterations < 1) {
    std::fprintf(stderr, "lexset-jobtime: ITERATIONS must be a positive number\n");
    return 2;
  }

  using Clock = std::chrono::steady_clock;
  // A few untimed jobs first: the first one pays for cold caches and for
  // the allocator getting its memory from the system.
  const long warm_up = std::min(iterations, 10L);
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(iterations));
  for (long i = 0; i < warm_up + iterations; ++i) {
    const Clock::time_point start = Clock::now();
    const lexset::JobOutcome outcome = lexset::TidyWordList(source, result);
    const Clock::time_point end = Clock::now();
    if (outcome.status != lexset::JobStatus::kCompleted) {
      std::fprintf(stderr, "lexset-jobtime: the job failed (status %d) on %s: %s\n", static_cast<int>(outcome.status),
                   outcome.path.c_str(), outcome.reason.c_str());
      return 2;
    }
    if (i >= warm_up) micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }

  std::sort(micros.begin(), micros.end());
  const std::size_t n = micros.size();
  const double median = n % 2 == 1 ? micros[n / 2] : (micros[n / 2 - 1] + micros[n / 2]) / 2;
  const double p90 = micros[std::min(n - 1, n * 9 / 10)];
  std::printf("median_us=%.1f min_us=%.1f p90_us=%.1f iterations=%zu\n", median, micros.front(), p90, n);
  return 0;
}
