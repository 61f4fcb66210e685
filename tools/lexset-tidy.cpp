//===- lexset-tidy.cpp - The word-list job from the command line ---------===//
//
// A developer's tool for tests and benchmarks: runs the same job as the
// window's Start button and prints the message the window would show, in
// UTF-8, on standard error.
//
//   lexset-tidy [--memory-limit BYTES] [--stats] SOURCE RESULT
//
// --memory-limit  how much memory the distinct words may take before they
//                 go to run files (default: the program's own choice)
// --stats         also prints the figures of the run files on standard error
//
// Exit status: 0 when the job completed, 1 for an empty path, 2 for any
// other problem.
//
//===----------------------------------------------------------------------===//
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/JobMessages.h"
#include "core/TidyJob.h"
#include "tools/ConsoleText.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: lexset-tidy [--memory-limit BYTES] [--stats] SOURCE RESULT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  lexset::JobOptions options;
  lexset::SpillStats stats;
  bool print_stats = false;
  int arg = 1;
  for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
    if (std::strcmp(argv[arg], "--memory-limit") == 0 && arg + 1 < argc) {
      char* end = nullptr;
      const unsigned long long limit = std::strtoull(argv[++arg], &end, 10);
      if (end == argv[arg] || *end != '\0' || limit == 0) return Usage();
      options.memory_limit = static_cast<std::size_t>(limit);
    } else if (std::strcmp(argv[arg], "--stats") == 0) {
      print_stats = true;
      options.stats = &stats;
    } else {
      return Usage();
    }
  }
  if (argc - arg != 2) return Usage();

  const lexset::JobOutcome outcome = lexset::TidyWordList(argv[arg], argv[arg + 1], options);
  const lexset::JobMessage message = lexset::DescribeOutcome(outcome);
  const std::string text = lexset::ToConsoleText(message.text);
  std::fprintf(stderr, "%s\n", text.c_str());
  if (print_stats) {
    std::fprintf(stderr, "runs=%zu merge_passes=%zu run_bytes_written=%llu peak_run_bytes=%llu\n", stats.runs_written,
                 stats.merge_passes, static_cast<unsigned long long>(stats.bytes_written),
                 static_cast<unsigned long long>(stats.peak_run_bytes));
  }

  switch (outcome.status) {
    case lexset::JobStatus::kCompleted:
      return 0;
    case lexset::JobStatus::kEmptyPath:
      return 1;
    default:
      return 2;
  }
}
