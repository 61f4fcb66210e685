//===- WorkersTest.cpp - Helper threads and reading ahead ----------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <utility>
#include <new>
#include <string>
#include <vector>

#include "core/ScanAhead.h"
#include "core/Workers.h"
#include "tests/MemoryStreams.h"

namespace lexset::test {
namespace {

TEST(WorkersTest, EveryTaskRunsOnceAndFailuresComeOutOfWait) {
  for (unsigned threads : {1u, 2u, 5u}) {
    Workers workers(threads);
    std::vector<std::atomic<int>> runs(2000);
    {
      TaskGroup group(&workers);
      for (std::size_t i = 0; i < runs.size(); ++i) group.Run([&runs, i] { ++runs[i]; });
      group.Wait();
    }
    for (const auto& r : runs) ASSERT_EQ(r.load(), 1) << threads << " threads";

    // A task that throws does not keep the others from running; the group's
    // waiter hears of it, once.
    TaskGroup failing(&workers);
    std::atomic<int> ran{0};
    for (int i = 0; i < 50; ++i) {
      failing.Run([&ran, i] {
        ++ran;
        if (i == 7) throw std::bad_alloc();
      });
    }
    EXPECT_THROW(failing.Wait(), std::bad_alloc) << threads << " threads";
    EXPECT_NO_THROW(failing.Wait());
    // Without helpers the tasks after a failure are not run.
    EXPECT_EQ(ran.load(), threads == 1 ? 8 : 50);
  }
}

// Scans `input` ahead, taking at most `stop_after` batches of words.
struct Scanned {
  bool read = false;
  std::string words;
  std::uint64_t bytes = 0;
};
Scanned ScanAheadOf(const std::string& input, std::size_t fail_after, std::size_t stop_after = SIZE_MAX) {
  MemorySource source(input, 7, fail_after);
  Scanned scanned;
  std::size_t batches = 0;
  std::uint64_t read = 0;
  ScanAhead ahead(16);
  scanned.read = ahead.ScanAll(
      source, [&read] { return std::exchange(read, 0) + 1; },
      [&](const std::string_view* words, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) scanned.words += std::string(words[i]) + ",";
        return ++batches < stop_after;
      },
      [&scanned](std::uint64_t bytes) { scanned.bytes += bytes; });
  return scanned;
}

TEST(WorkersTest, ScanAheadHandsOverTheWordsInOrder) {
  std::string input;
  std::string expected;
  for (int i = 0; i < 200000; ++i) {
    const std::string word = std::to_string(i * 7919 % 100003) + std::string(i % 5, 'x');
    input += word + (i % 3 ? " " : "\r\n");
    expected += word + ",";
  }
  const Scanned whole = ScanAheadOf(input, SIZE_MAX);
  EXPECT_TRUE(whole.read);
  EXPECT_EQ(whole.words, expected);
  EXPECT_GT(whole.bytes, 0u);

  // A read error: the words before it, and false.
  const Scanned failed = ScanAheadOf(input, input.size() / 2);
  EXPECT_FALSE(failed.read);
  EXPECT_EQ(expected.compare(0, failed.words.size(), failed.words), 0);
  EXPECT_GT(failed.words.size(), expected.size() / 3);

  // Stopped by the taker: true, and the scanning thread ends though its
  // batches are full.
  const Scanned stopped = ScanAheadOf(input, SIZE_MAX, 1);
  EXPECT_TRUE(stopped.read);
  EXPECT_EQ(std::count(stopped.words.begin(), stopped.words.end(), ','), 16);
  EXPECT_EQ(expected.compare(0, stopped.words.size(), stopped.words), 0);

  MemorySource source(input, 1000);
  ScanAhead ahead(64);
  EXPECT_THROW(ahead.ScanAll(
                   source, nullptr, [](const std::string_view*, std::size_t) -> bool { throw std::bad_alloc(); },
                   nullptr),
               std::bad_alloc);
}

}  // namespace
}  // namespace lexset::test
