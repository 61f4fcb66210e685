//===- SpillTest.cpp - Word lists larger than the memory limit -----------===//
//
// With a limit of a few kilobytes every input goes through many run files
// and merges; the result must be byte for byte the reference's, and every
// failure of a run file must end the job cleanly.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "core/TidyJob.h"
#include "tests/TestSupport.h"
#include "tests/WordListGenerator.h"

namespace lexset::test {
namespace {

struct Spilled {
  JobStatus status;
  std::string bytes;
  SpillStats stats;
  std::string run_error;
};

Spilled TidyWithLimit(const std::string& input, std::size_t limit, MemoryRunStorage& storage,
                      std::size_t piece = std::numeric_limits<std::size_t>::max(),
                      std::size_t give_up_hashing_from = WordSet::kGiveUpHashingFrom) {
  MemorySource source(input, piece);
  MemorySink sink;
  Spilled spilled;
  JobOptions options;
  options.memory_limit = limit;
  options.give_up_hashing_from = give_up_hashing_from;
  options.stats = &spilled.stats;
  spilled.status = TidyWords(source, sink, options, &storage, &spilled.run_error);
  spilled.bytes = sink.bytes();
  return spilled;
}

// Inputs with repetition across the whole list, so the same words land in
// many runs, and with NUL, high bytes and, sometimes, 0x1A.
std::vector<std::string> SpillInputs(Generator& gen) {
  std::vector<std::string> inputs;
  const std::string alphabet = std::string("abc\0\xff\x80 ", 7);
  for (int i = 0; i < 6; ++i) {
    const auto vocabulary = gen.Vocabulary(AllWordBytes(), 200 + gen.Below(3000), 16);
    std::vector<std::string> words;
    for (int j = 0; j < 8000; ++j) words.push_back(vocabulary[gen.Below(vocabulary.size())]);
    std::string input = gen.Join(words);
    if (i % 3 == 0) input.insert(input.size() * 3 / 4, 1, '\x1a');
    inputs.push_back(input);
  }
  // UTF-16, repeated words of hard code units.
  for (int i = 0; i < 2; ++i) {
    std::u16string text(1, u'\uFEFF');
    std::vector<std::u16string> vocabulary(500);
    for (std::u16string& word : vocabulary) {
      for (std::size_t size = 1 + gen.Below(10); size > 0; --size) word += kHardUtf16Units[2 + gen.Below(20)];
    }
    for (int j = 0; j < 6000; ++j) text += vocabulary[gen.Below(vocabulary.size())] + u" ";
    inputs.push_back(Utf16Bytes(text, i == 0));
  }
  // Already in order: the set only appends, and spills ordered runs.
  auto sorted = gen.Vocabulary("abcdefgh", 6000, 12);
  std::sort(sorted.begin(), sorted.end());
  inputs.push_back(gen.Join(sorted));
  // Ordered for a while, then not.
  auto mixed = gen.Vocabulary(alphabet.substr(0, 6), 6000, 10);
  std::sort(mixed.begin(), mixed.begin() + 3000);
  inputs.push_back(gen.Join(mixed));
  // Nearly all new words, more than the buckets hold under the larger limits.
  inputs.push_back(gen.Join(gen.Vocabulary(AllWordBytes(), 150000, 12)));
  // Nearly all new words, Latin and then of high bytes, which the buckets
  // planned from the first words did not foresee.
  auto latin_then_high = gen.Vocabulary("abcdefghijklmnopqrstuvwxyz", 5000, 10);
  for (const std::string& word : gen.Vocabulary("\x81\x9a\xb0\xc4\xd6\xe8\xfe", 20000, 8))
    latin_then_high.push_back(word);
  inputs.push_back(gen.Join(latin_then_high));
  return inputs;
}

TEST(SpillTest, SameBytesAsTheReferenceUnderEveryLimit) {
  Generator gen(11);
  constexpr std::size_t kLimits[] = {2048, 4096, 16384, 65536, 1 << 20};
  std::size_t runs_from_buckets[std::size(kLimits)] = {};
  for (const std::string& input : SpillInputs(gen)) {
    const std::string expected = ReferenceTidy(input);
    for (std::size_t l = 0; l < std::size(kLimits); ++l) {
      const std::size_t limit = kLimits[l];
      MemoryRunStorage storage;
      // Half the time the set gives up hashing early and spills buckets.
      const std::size_t give_up = gen.Below(2) == 0 ? 64 : WordSet::kGiveUpHashingFrom;
      const Spilled spilled = TidyWithLimit(input, limit, storage, 1 + gen.Below(5000), give_up);
      ASSERT_EQ(spilled.status, JobStatus::kCompleted) << "limit " << limit;
      ASSERT_EQ(spilled.bytes, expected) << "limit " << limit;
      EXPECT_EQ(storage.files_open, 0);
      if (limit <= 16384 && expected.size() > 4 * limit) {
        EXPECT_GT(spilled.stats.runs_written, 2u) << "limit " << limit;
      }
      runs_from_buckets[l] += spilled.stats.runs_from_buckets;
    }
  }
  // The buckets' tables shrink with the limit, so that buckets spill too,
  // from 4 KiB on (2 KiB holds too few words to give up hashing for them).
  for (std::size_t l = 1; l < std::size(kLimits); ++l) EXPECT_GT(runs_from_buckets[l], 0u) << "limit " << kLimits[l];
}

TEST(SpillTest, ManyRunsMergeInPasses) {
  Generator gen(12);
  const auto words = gen.Vocabulary("abcdefghijklmnopqrstuvwxyz", 40000, 12);
  const std::string input = gen.Join(words);
  MemoryRunStorage storage;
  const Spilled spilled = TidyWithLimit(input, 4096, storage);
  ASSERT_EQ(spilled.status, JobStatus::kCompleted);
  EXPECT_EQ(spilled.bytes, ReferenceTidy(input));
  // More runs than can be open at once: some are merged before the last merge.
  EXPECT_GT(spilled.stats.runs_written, DistinctWords::kMaxMergeWidth);
  EXPECT_GT(spilled.stats.merge_passes, 0u);
  EXPECT_EQ(storage.files_open, 0);
}

TEST(SpillTest, ListsThatFitTouchNoRunFile) {
  Generator gen(13);
  const std::string input = gen.Join(gen.Vocabulary("abcdef", 5000, 8));
  MemoryRunStorage storage;
  const Spilled spilled = TidyWithLimit(input, 64 << 20, storage);
  ASSERT_EQ(spilled.status, JobStatus::kCompleted);
  EXPECT_EQ(spilled.bytes, ReferenceTidy(input));
  EXPECT_EQ(storage.files_created, 0u);
  EXPECT_EQ(spilled.stats.runs_written, 0u);
}

TEST(SpillTest, WordsLargerThanTheLimit) {
  // Each is a run of its own, and comes out whole.
  Generator gen(14);
  std::vector<std::string> words = gen.Vocabulary("xyz", 500, 8);
  words.push_back(std::string(100000, 'm'));
  words.push_back(std::string(100000, 'm') + "n");
  words.push_back(std::string(70000, 'a'));
  words.push_back(words[words.size() - 3]);
  std::shuffle(words.begin(), words.end(), gen.rng());
  const std::string input = gen.Join(words);
  MemoryRunStorage storage;
  const Spilled spilled = TidyWithLimit(input, 4096, storage, 1000);
  ASSERT_EQ(spilled.status, JobStatus::kCompleted);
  EXPECT_EQ(spilled.bytes, ReferenceTidy(input));
}

TEST(SpillFaultTest, RunFileCannotBeCreated) {
  Generator gen(15);
  const std::string input = gen.Join(gen.Vocabulary("abcdefghij", 20000, 10));
  for (std::size_t allowed : {0u, 1u, 5u, 16u, 18u}) {
    MemoryRunStorage storage;
    storage.files_allowed = allowed;
    const Spilled spilled = TidyWithLimit(input, 4096, storage);
    EXPECT_EQ(spilled.status, JobStatus::kResultUnwritable) << allowed;
    EXPECT_EQ(spilled.run_error, "the test's run storage makes no more files");
    EXPECT_EQ(spilled.bytes, "");
    EXPECT_EQ(storage.files_open, 0);
  }
}

TEST(SpillFaultTest, RunStorageFullWhileSpillingOrMerging) {
  Generator gen(16);
  const std::string input = gen.Join(gen.Vocabulary("abcdefghij", 20000, 10));
  MemoryRunStorage measure;
  const std::size_t total = TidyWithLimit(input, 4096, measure).stats.bytes_written;
  for (std::size_t allowed = 0; allowed < total; allowed += total / 13 + 1) {
    MemoryRunStorage storage;
    storage.bytes_allowed = allowed;
    const Spilled spilled = TidyWithLimit(input, 4096, storage);
    EXPECT_EQ(spilled.status, JobStatus::kResultUnwritable) << allowed;
    EXPECT_EQ(spilled.run_error, "no space left in the test's run storage");
    EXPECT_EQ(spilled.bytes, "");
    EXPECT_EQ(storage.files_open, 0);
  }
}

TEST(SpillFaultTest, RunFileCannotBeReadBack) {
  Generator gen(17);
  const std::string input = gen.Join(gen.Vocabulary("abcdefghij", 20000, 10));
  for (std::size_t allowed : {0u, 3u, 40u}) {
    MemoryRunStorage storage;
    storage.reads_allowed = allowed;
    const Spilled spilled = TidyWithLimit(input, 4096, storage);
    EXPECT_EQ(spilled.status, JobStatus::kResultUnwritable) << allowed;
    EXPECT_EQ(spilled.run_error, "the test's run storage cannot be read");
    EXPECT_EQ(storage.files_open, 0);
  }
}

TEST(SpillFileTest, RunFilesNextToTheResult) {
  // Real run files, on this platform's file layer; source and result the
  // same file, and nothing left in the folder afterwards.
  Generator gen(18);
  std::vector<std::string> words;
  const auto vocabulary = gen.Vocabulary(AllWordBytes(), 3000, 12);
  for (int j = 0; j < 20000; ++j) words.push_back(vocabulary[gen.Below(vocabulary.size())]);
  const std::string input = gen.Join(words);
  ScratchFolder folder;
  WriteFile(folder.Path("list.txt"), input);
  SpillStats stats;
  JobOptions options;
  options.memory_limit = 8192;
  options.stats = &stats;
  const JobOutcome outcome = TidyWordList(folder.Path("list.txt"), folder.Path("list.txt"), options);
  ASSERT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
  EXPECT_EQ(ReadFile(folder.Path("list.txt")), ReferenceTidy(input));
  EXPECT_GT(stats.runs_written, DistinctWords::kMaxMergeWidth);
  EXPECT_EQ(folder.List(), std::vector<std::string>{"list.txt"});
}

}  // namespace
}  // namespace lexset::test
