//===- RunFilesTest.cpp - Run files kept, merged and read back -----------===//
//
// The run files of a job on their own: how many are open at once, counts
// past 4 GiB, and a run's lines copied in pieces below a bound.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/RunFiles.h"
#include "core/RunReader.h"
#include "tests/TestSupport.h"

namespace lexset::test {
namespace {

// Run files that count what is written and keep none of it, to read back
// empty: runs of gigabytes at no cost.
class CountingRunStorage final : public RunStorage {
 public:
  std::unique_ptr<RunFile> Create() override { return std::make_unique<CountingRunFile>(); }
  const std::string& error() const override { return error_; }

 private:
  class CountingRunFile final : public RunFile {
   public:
    bool Write(const char*, std::size_t) override { return true; }
    bool Rewind() override { return true; }
    std::ptrdiff_t Read(char*, std::size_t) override { return 0; }
    const std::string& error() const override { return error_; }

   private:
    std::string error_;
  };
  std::string error_;
};

TEST(SpillTest, RunBytesPast4GiB) {
  // A run of 5 GiB and one of 1 GiB: the counts of a run's bytes and of all
  // runs' hold them in the 32-bit program too. Blocks larger than the
  // writer's buffer go to the file as they are, so nothing is copied.
  CountingRunStorage storage;
  SpillStats stats;
  RunFiles runs(storage, 16 << 20, stats, nullptr);
  const std::string lines(2 << 20, 'w');
  constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
  for (const std::uint64_t run_bytes : {5 * kGiB, kGiB}) {
    ASSERT_TRUE(runs.WriteRun([&](LineWriter& out) {
      for (std::uint64_t written = 0; written < run_bytes; written += lines.size()) {
        if (!out.PutLines(lines.data(), lines.size())) return false;
      }
      return true;
    }));
  }
  EXPECT_EQ(stats.runs_written, 2u);
  EXPECT_EQ(stats.bytes_written, 6 * kGiB);
  EXPECT_EQ(stats.peak_run_bytes, 6 * kGiB);
}

TEST(SpillTest, RunsAsManyOpenAsTheStorageAndTheLimitAllow) {
  // The last merge takes every run when the storage lets that many be open
  // and the limit has room for a read buffer each; otherwise the smallest
  // are merged first, never more open than allowed.
  struct Row {
    std::size_t open_at_once;
    std::size_t memory_limit;
    bool merges_early;
  };
  const Row kRows[] = {{100, 100 * 16384, false}, {40, 4 << 20, true}, {1000, 1 << 20, true}, {5, 1 << 20, true}};
  constexpr std::size_t kRuns = 90;
  std::string expected;
  for (std::size_t i = 0; i < 20 * kRuns; ++i) expected += "w" + std::to_string(10000 + i) + "\r\n";
  for (const Row& row : kRows) {
    MemoryRunStorage storage;
    storage.open_at_once = row.open_at_once;
    SpillStats stats;
    RunFiles runs(storage, row.memory_limit, stats, nullptr);
    for (std::size_t r = 0; r < kRuns; ++r) {
      ASSERT_TRUE(runs.WriteRun([&](LineWriter& out) {
        for (std::size_t i = r; i < 20 * kRuns; i += kRuns) {
          if (!out.PutLine("w" + std::to_string(10000 + i))) return false;
        }
        return true;
      }));
    }
    ASSERT_TRUE(runs.MakeRoomFor(0));
    MemorySink sink;
    {
      LineWriter out(sink, 4096);
      ASSERT_EQ(runs.MergeInto({}, out), MergeResult::kDone);
      ASSERT_TRUE(out.Flush());
    }
    EXPECT_EQ(sink.bytes(), expected) << row.open_at_once;
    EXPECT_EQ(stats.merge_passes > 0, row.merges_early) << row.open_at_once;
    EXPECT_LE(storage.most_files_open, static_cast<int>(std::min(row.open_at_once, runs.max_open()) + 1));
  }
}

TEST(SpillTest, RunCopiesTheLinesBelowABound) {
  // A merge copies a long run's lines up to the other input's next word in
  // pieces, found by halving the buffer: every bound, a word of the run or
  // one between two, stops the copy at the first word not below it.
  std::vector<std::string> words;
  for (int i = 0; i < 3000; ++i) words.push_back("w" + std::to_string(100000 + 2 * i) + std::string(i % 7, 'x'));
  std::string lines;
  for (const std::string& word : words) lines += word + "\r\n";
  for (std::size_t start = 0; start < words.size(); start += 97) {
    for (const std::size_t stop : {start + 1, start + 2, start + 50, start + 400, start + 2500}) {
      for (const bool between : {false, true}) {
        if (stop >= words.size()) continue;
        // A bound just below words[stop] is above words[stop - 1].
        std::string bound = words[stop];
        if (between) bound.back() = static_cast<char>(bound.back() - 1);
        MemoryReadBack file(lines);
        RunReader reader(file, 4096);
        for (std::size_t i = 0; i <= start; ++i) ASSERT_TRUE(reader.Next());
        MemorySink sink;
        std::string_view last;
        {
          LineWriter out(sink, 1000);
          const std::string_view bound_view = bound;
          ASSERT_EQ(reader.CopyBelow(&bound_view, out, &last), Copied::kStopped);
          ASSERT_TRUE(out.Flush());
        }
        std::string expected;
        for (std::size_t i = start + 1; i < stop; ++i) expected += words[i] + "\r\n";
        EXPECT_EQ(sink.bytes(), expected) << start << " to " << stop;
        EXPECT_EQ(reader.word(), words[stop]);
        EXPECT_EQ(last, words[stop - 1]);
      }
    }
  }
}

}  // namespace
}  // namespace lexset::test
