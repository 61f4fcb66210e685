//===- RunFilesTest.cpp - Run files kept, merged and read back -----------===//
//
// The run files of a job on their own: how many are open at once, counts
// past 4 GiB, a run's lines copied in pieces below a bound, and the last
// merge split into ranges of words between threads.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/RunFiles.h"
#include "core/RunReader.h"
#include "core/Workers.h"
#include "tests/TestSupport.h"
#include "tests/WordListGenerator.h"

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

// Runs of words, each in order without repeats, and what merging them gives.
struct SplitShape {
  const char* name;
  std::vector<std::vector<std::string>> runs;
  // So many bytes of samples that the runs are merged whole.
  bool many_samples;
  std::string merged;
};

std::vector<SplitShape> SplitShapes(Generator& gen) {
  std::vector<SplitShape> shapes;
  auto vocabulary = gen.Vocabulary(AllWordBytes(), 6000, 12);
  // Most words in several runs, so that splitters, which are sampled words,
  // stand in most runs; one run of a single word, and one empty.
  std::vector<std::vector<std::string>> repeated(6);
  for (const std::string& word : vocabulary) {
    for (auto& run : repeated) {
      if (gen.Below(2) == 0) run.push_back(word);
    }
  }
  shapes.push_back({"repeated across runs", repeated, false, ""});
  repeated.push_back({vocabulary[gen.Below(vocabulary.size())]});
  repeated.push_back({});
  shapes.push_back({"a tiny run and an empty one", repeated, false, ""});
  // Runs of ranges apart, some chunks in one run alone.
  std::vector<std::vector<std::string>> apart(3);
  for (std::size_t r = 0; r < apart.size(); ++r) {
    for (const std::string& word : gen.Vocabulary("xyz", 2000, 10)) apart[r].push_back(std::string(1, 'a' + r) + word);
  }
  shapes.push_back({"ranges apart", apart, false, ""});
  // Words far longer than a sample step, some alike for thousands of bytes;
  // where most bytes are in such words, the samples take too much memory,
  // and the runs are merged whole.
  for (const std::size_t one_in : {40, 4}) {
    std::vector<std::vector<std::string>> long_words(4);
    const std::string stem(5000, 'q');
    for (auto& run : long_words) {
      for (int i = 0; i < 400; ++i) {
        const std::string word = gen.Word("abc", 6);
        run.push_back(gen.Below(one_in) == 0   ? stem + word
                      : gen.Below(one_in) == 0 ? std::string(2000 + gen.Below(10000), 'm')
                                               : word);
      }
    }
    shapes.push_back({one_in == 40 ? "long words" : "mostly long words", long_words, one_in == 4, ""});
  }
  for (SplitShape& shape : shapes) {
    std::set<std::string> all;
    for (auto& run : shape.runs) {
      std::set<std::string> distinct(run.begin(), run.end());
      run.assign(distinct.begin(), distinct.end());
      all.insert(distinct.begin(), distinct.end());
    }
    for (const std::string& word : all) shape.merged += word + "\r\n";
  }
  return shapes;
}

TEST(SpillTest, LastMergeSplitBetweenThreads) {
  // The runs and the result's words taken back, in chunks of a few
  // kilobytes or tens of them: the same bytes as one merge, whatever the
  // threads; a read of a run failing before or while the chunks are
  // merged fails the merge, with the run's error.
  Generator gen(23);
  for (const SplitShape& shape : SplitShapes(gen)) {
    for (const std::size_t limit : {std::size_t{64} << 10, std::size_t{1} << 20}) {
      for (const unsigned threads : {2u, 3u}) {
        // The reads of a whole merge, counted the first time; then fewer
        // are allowed, down to all but the last chunks'.
        std::size_t reads = 0;
        for (int fault = 0; fault < 4; ++fault) {
          const std::size_t reads_allowed = fault == 0 ? 0 : fault == 1 ? 7 : fault == 2 ? reads / 2 : reads - 2;
          const std::string name = std::string(shape.name) + ", limit " + std::to_string(limit) + ", threads " +
                                   std::to_string(threads) + ", reads " + std::to_string(reads_allowed);
          MemoryRunStorage storage;
          SpillStats stats;
          RunFiles runs(storage, limit, stats, nullptr);
          for (std::size_t r = 1; r < shape.runs.size(); ++r) {
            ASSERT_TRUE(runs.WriteRun([&](LineWriter& out) {
              for (const std::string& word : shape.runs[r]) {
                if (!out.PutLine(word)) return false;
              }
              return true;
            }));
          }
          std::string first;
          for (const std::string& word : shape.runs[0]) first += word + "\r\n";
          MemoryReadBack taken_back(first);
          ASSERT_TRUE(runs.CanReadAt());
          Workers workers(threads);
          // Reads of the result taken back are not counted: with fewer
          // allowed than all, a run fails.
          const std::size_t read_before = storage.reads;
          if (fault != 0) storage.reads_allowed = read_before + reads_allowed;
          MemorySink sink;
          MergeResult result;
          {
            LineWriter out(sink, 1 + gen.Below(5000));
            result = runs.MergeSplitInto({&taken_back}, workers, out);
            if (result == MergeResult::kDone) {
              ASSERT_TRUE(out.Flush());
            }
          }
          if (fault == 0) {
            reads = storage.reads - read_before;
            ASSERT_EQ(result, MergeResult::kDone) << name;
            EXPECT_EQ(sink.bytes(), shape.merged) << name;
            if (shape.many_samples) {
              EXPECT_EQ(stats.split_chunks, 0u) << name;
            } else {
              EXPECT_GT(stats.split_chunks, limit < (1 << 20) ? 8u : 1u) << name;
            }
          } else {
            EXPECT_EQ(result, MergeResult::kInputFailed) << name;
            EXPECT_EQ(runs.error(), "the test's run storage cannot be read") << name;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace lexset::test
