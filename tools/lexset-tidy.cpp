//===- lexset-tidy.cpp - The word-list job from the command line ---------===//
//
// A developer's tool for tests and benchmarks: runs the same job as the
// window's Start button and prints the message the window would show, in
// UTF-8, on standard error.
//
// Exit status: 0 when the job completed, 1 for an empty path, 2 for any
// other problem.
//
//===----------------------------------------------------------------------===//
#include <cstdio>
#include <string>

#include "core/JobMessages.h"
#include "core/TidyJob.h"
#include "tools/ConsoleText.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lexset-tidy SOURCE RESULT\n");
    return 2;
  }
  const lexset::JobOutcome outcome = lexset::TidyWordList(argv[1], argv[2]);
  const lexset::JobMessage message = lexset::DescribeOutcome(outcome);
  const std::string text = lexset::ToConsoleText(message.text);
  std::fprintf(stderr, "%s\n", text.c_str());

  switch (outcome.status) {
    case lexset::JobStatus::kCompleted:
      return 0;
    case lexset::JobStatus::kEmptyPath:
      return 1;
    default:
      return 2;
  }
}
