//===- SpillTest.cpp - Word lists larger than the memory limit -----------===//
//
// With a limit of a few kilobytes every input goes through many run files
// and merges; the result must be byte for byte the reference's, and every
// failure of a run file must end the job cleanly.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
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
                      std::size_t piece = std::numeric_limits<std::size_t>::max(), JobOptions options = {},
                      bool takes_back = true) {
  MemorySource source(input, piece);
  MemorySink sink(std::numeric_limits<std::size_t>::max(), takes_back);
  Spilled spilled;
  options.memory_limit = limit;
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
  // Pieces in order: the same words dealt into three, then new words.
  auto dealt = gen.Vocabulary("abcdefgh", 9000, 10);
  std::sort(dealt.begin(), dealt.end());
  std::string pieces;
  for (std::size_t piece = 0; piece < 3; ++piece) {
    for (std::size_t i = piece; i < dealt.size(); i += 3) pieces += dealt[i] + "\n";
  }
  inputs.push_back(pieces + gen.Join(gen.Vocabulary("abcdefgh", 500, 10)));
  // Nearly all new words, Latin and then of high bytes, which the buckets
  // planned from the first words did not foresee.
  auto latin_then_high = gen.Vocabulary("abcdefghijklmnopqrstuvwxyz", 5000, 10);
  for (const std::string& word : gen.Vocabulary("\x81\x9a\xb0\xc4\xd6\xe8\xfe", 20000, 8))
    latin_then_high.push_back(word);
  inputs.push_back(gen.Join(latin_then_high));
  // Almost in order: a word out of place every 97; and 30 lists in order
  // dealt word by word into one. The first words show little of the range.
  auto in_order = gen.Vocabulary(AllWordBytes(), 30000, 9);
  std::sort(in_order.begin(), in_order.end());
  std::vector<std::string> outliers;
  std::vector<std::string> interleaved;
  for (std::size_t i = 0; i < in_order.size(); ++i) {
    outliers.push_back(in_order[i]);
    if (i % 97 == 96) outliers.push_back(gen.Word(AllWordBytes(), 9));
    interleaved.push_back(in_order[(i % 30) * 1000 + i / 30]);
  }
  inputs.push_back(gen.Join(outliers));
  inputs.push_back(gen.Join(interleaved));
  return inputs;
}

TEST(SpillTest, SameBytesAsTheReferenceUnderEveryLimit) {
  Generator gen(11);
  // The largest limits leave room near all a size_t holds, 4 GiB in the
  // 32-bit program: no check of the room may wrap around. The very largest
  // is what --memory-limit 4294967295 gives there, and means no limit.
  constexpr std::size_t kLargest = std::numeric_limits<std::size_t>::max();
  constexpr std::size_t kLimits[] = {2048, 4096, 16384, 65536, 1 << 20, kLargest / 2 + 1, kLargest - 1, kLargest};
  std::size_t runs_from_buckets[std::size(kLimits)] = {};
  std::size_t split_chunks = 0;
  const std::vector<std::string> inputs = SpillInputs(gen);
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const std::string& input = inputs[i];
    const std::string expected = ReferenceTidy(input);
    for (std::size_t l = 0; l < std::size(kLimits); ++l) {
      const std::size_t limit = kLimits[l];
      MemoryRunStorage storage;
      // Every other time the set gives up hashing early and spills buckets,
      // and every third a few words in order make a stretch; the job reads
      // ahead and sorts on helpers for every other input.
      JobOptions options;
      options.threads = 1 + static_cast<unsigned>(i % 2) * 2;
      if ((i + l) % 2 == 0) options.give_up_hashing_from = 64;
      if ((i + l) % 3 == 0) options.stretch_from = 1 + gen.Below(50);
      if (l % 2 == 0) options.split_merge_from = gen.Below(4096);
      const Spilled spilled = TidyWithLimit(input, limit, storage, 1 + gen.Below(5000), options, gen.Below(2) == 0);
      ASSERT_EQ(spilled.status, JobStatus::kCompleted) << "limit " << limit;
      ASSERT_EQ(spilled.bytes, expected) << "limit " << limit;
      EXPECT_EQ(storage.files_open, 0);
      // Words beyond the limit went to run files, unless they came in order
      // and went out as they came.
      if (limit <= 16384 && expected.size() > 4 * limit && spilled.stats.stretches == 0) {
        EXPECT_GT(spilled.stats.runs_written, 2u) << "limit " << limit;
      }
      runs_from_buckets[l] += spilled.stats.runs_from_buckets;
      split_chunks += spilled.stats.split_chunks;
    }
  }
  EXPECT_GT(split_chunks, 100u);
  // The buckets' tables shrink with the limit, so that buckets spill too,
  // from 4 KiB on (2 KiB holds too few words to give up hashing for them);
  // nothing spills under the largest limits.
  for (std::size_t l = 1; l < std::size(kLimits); ++l) {
    EXPECT_EQ(runs_from_buckets[l] > 0, kLimits[l] <= (1 << 20)) << "limit " << kLimits[l];
  }
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
  EXPECT_GT(spilled.stats.runs_written, RunStorage::kDefaultOpenAtOnce);
  EXPECT_GT(spilled.stats.merge_passes, 0u);
  EXPECT_EQ(storage.files_open, 0);
}

TEST(SpillTest, ManyRunsFewOpenAtOnce) {
  // Thousands of runs: never more open at a time than a merge takes, so
  // that the system's limit on open files is never reached.
  Generator gen(19);
  const std::string input = gen.Join(gen.Vocabulary("abcdefghijklmnopqrstuvwxyz", 150000, 12));
  MemoryRunStorage storage;
  const Spilled spilled = TidyWithLimit(input, 2048, storage);
  ASSERT_EQ(spilled.status, JobStatus::kCompleted);
  EXPECT_EQ(spilled.bytes, ReferenceTidy(input));
  EXPECT_GT(spilled.stats.runs_written, 1000u);
  EXPECT_LE(storage.most_files_open, static_cast<int>(RunStorage::kDefaultOpenAtOnce + 1));
}

TEST(SpillTest, LongWordsAlikeInManyRunsAreComparedOnce) {
  // In each of many runs a long word, all alike but for their last bytes,
  // waits while the short words of the other runs go by. The merge must
  // not compare the long words again at every step: the bytes it compares
  // stay within a small multiple of the list's size.
  Generator gen(20);
  const std::string stem(200000, 'q');
  std::vector<std::string> words;
  for (int group = 0; group < 16; ++group) {
    words.push_back(stem + static_cast<char>('a' + group));
    for (const std::string& word : gen.Vocabulary("abcdefghijklmnopqrstuvwxyz", 2000, 10)) words.push_back(word);
  }
  const std::string input = gen.Join(words);
  MemoryRunStorage storage;
  const Spilled spilled = TidyWithLimit(input, 300000, storage);
  ASSERT_EQ(spilled.status, JobStatus::kCompleted);
  EXPECT_EQ(spilled.bytes, ReferenceTidy(input));
  EXPECT_GE(spilled.stats.runs_written, 8u);
  EXPECT_LE(spilled.stats.bytes_compared, 4 * input.size());
}

// Distinct words in order dealt into `k` pieces, word i to piece i mod k,
// the pieces one after the other: k stretches, each over the whole range.
std::string DealtPieces(Generator& gen, std::size_t k) {
  auto words = gen.Vocabulary("abcdefghijklmnop", 20000, 10);
  std::sort(words.begin(), words.end());
  std::string pieces;
  for (std::size_t piece = 0; piece < k; ++piece) {
    for (std::size_t i = piece; i < words.size(); i += k) pieces += words[i] + "\n";
  }
  return pieces;
}

// Hears nothing: with it, the job counts the bytes it reads.
class Unheard final : public JobProgress {
 public:
  void Update(const JobProgressReport&) override {}
};

TEST(SpillTest, StretchesMergedWithTheResultOrKeptAsRuns) {
  // The result takes the first stretch back and merges the second with it
  // as it comes, with no run file, while nothing else came before and, if
  // the sources' size is known, no more is left than a piece or so; later
  // stretches are runs. A result that cannot be taken back, as the
  // standard output, keeps every stretch in a run. Once `hash_from`
  // stretches are runs, the later ones are hashed, and the runs are read
  // back into the set if they take half the limit at most (20 pieces of
  // 8 KB) but not if more (8 pieces of 19 KB).
  struct Row {
    std::size_t pieces;
    bool takes_back;
    bool size_known;
    std::size_t runs;
    std::size_t hash_from = 16;
    std::size_t stretches = 0;  // if not `pieces`
    std::size_t taken_back = 0;
  };
  const Row kRows[] = {{2, true, false, 0},          {2, false, false, 2},         {3, true, false, 1},
                       {8, true, false, 6},          {8, false, false, 8},         {2, true, true, 0},
                       {3, true, true, 2},           {8, true, true, 7},           {20, true, false, 13, 3, 5, 3},
                       {20, false, false, 14, 3, 3, 3}, {8, true, false, 5, 3, 5, 0}};
  Generator gen(21);
  for (const Row& row : kRows) {
    const std::string input = DealtPieces(gen, row.pieces);
    MemorySource source(input, 1 + gen.Below(5000));
    MemorySink sink(std::numeric_limits<std::size_t>::max(), row.takes_back);
    MemoryRunStorage storage;
    SpillStats stats;
    Unheard unheard;
    JobOptions options;
    options.memory_limit = 65536;
    options.stretch_from = 64;
    options.hash_stretches_from = row.hash_from;
    options.read_block_size = 4096;
    options.stats = &stats;
    if (row.size_known) options.progress = &unheard;
    const std::string name = std::to_string(row.pieces) + (row.takes_back ? "" : ", no taking back") +
                             (row.size_known ? ", size known" : "");
    ASSERT_EQ(TidyWords({&source}, sink, options, &storage, nullptr, row.size_known ? input.size() : 0),
              JobStatus::kCompleted)
        << name;
    EXPECT_EQ(sink.bytes(), ReferenceTidy(input)) << name;
    EXPECT_EQ(stats.stretches, row.stretches != 0 ? row.stretches : row.pieces) << name;
    EXPECT_EQ(stats.runs_written, row.runs) << name;
    EXPECT_EQ(stats.runs_taken_back, row.taken_back) << name;
    EXPECT_EQ(stats.merge_passes, 0u);
    EXPECT_EQ(storage.files_open, 0);
  }
}

TEST(SpillFaultTest, ListsMergedWithTheResultTakenBack) {
  // The result read back or written again fails part-way through the
  // merge of the second stretch, through the last merge of eight split
  // between threads, or through the last merge of a list with a few new
  // words after it: kept whole, as it mostly copies the result's lines,
  // and the result read a block ahead on the helper. The job ends, no run
  // file is left, and a read error names the result's.
  struct Row {
    std::size_t pieces;
    std::size_t new_words;
    unsigned threads;
    bool split;
  };
  const Row kRows[] = {{2, 0, 1, false}, {8, 0, 2, true}, {1, 50, 2, false}};
  Generator gen(22);
  for (const Row& row : kRows) {
    const std::size_t pieces = row.pieces;
    std::string input = DealtPieces(gen, pieces);
    if (row.new_words != 0) input += gen.Join(gen.Vocabulary("abcdefghijklmnop", row.new_words, 10));
    const std::size_t result_size = ReferenceTidy(input).size();
    JobOptions options;
    options.memory_limit = 65536;
    options.stretch_from = 64;
    options.threads = row.threads;
    options.split_merge_from = 0;
    {
      MemoryRunStorage storage;
      const Spilled whole = TidyWithLimit(input, 65536, storage, 1 + gen.Below(5000), options);
      EXPECT_EQ(whole.bytes, ReferenceTidy(input));
      EXPECT_EQ(whole.stats.stretches, pieces);
      EXPECT_EQ(whole.stats.split_chunks > 0, row.split);
    }
    for (const std::size_t read_back : {std::size_t{0}, std::size_t{100}, result_size / (2 * pieces)}) {
      MemorySource source(input, 1 + gen.Below(5000));
      MemorySink sink;
      sink.read_back_fails_after = read_back;
      MemoryRunStorage storage;
      std::string run_error;
      EXPECT_EQ(TidyWords(source, sink, options, &storage, &run_error), JobStatus::kResultUnwritable) << read_back;
      // Failing at once, the result cannot be taken back at all: that is the
      // result's own failure, not a run's.
      EXPECT_EQ(run_error, read_back == 0 ? "" : "the test's result cannot be read back") << read_back;
      EXPECT_EQ(storage.files_open, 0);
    }
    for (const std::size_t written : {result_size / 2 + 10, result_size, result_size + result_size / (2 * pieces)}) {
      MemorySource source(input, 1 + gen.Below(5000));
      MemorySink sink(written);
      MemoryRunStorage storage;
      std::string run_error;
      EXPECT_EQ(TidyWords(source, sink, options, &storage, &run_error), JobStatus::kResultUnwritable) << written;
      EXPECT_EQ(run_error, "");
      EXPECT_EQ(storage.files_open, 0);
    }
  }
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
  // Early merges, or the last, fail; with helpers, the last merge is split
  // between them, and fails in its plan or in its last chunks. Runs of
  // stretches, once they are many, fail as they are read back into the set
  // (the first reads of the pieces).
  Generator gen(17);
  const std::string input = gen.Join(gen.Vocabulary("abcdefghij", 20000, 10));
  const std::string pieces = DealtPieces(gen, 20);
  const auto expect_read_failure = [](const Spilled& spilled, const MemoryRunStorage& storage, std::size_t allowed) {
    EXPECT_EQ(spilled.status, JobStatus::kResultUnwritable) << allowed;
    EXPECT_EQ(spilled.run_error, "the test's run storage cannot be read");
    EXPECT_EQ(storage.files_open, 0);
  };
  for (const unsigned threads : {1u, 3u}) {
    JobOptions options;
    options.threads = threads;
    options.split_merge_from = 0;
    MemoryRunStorage measure;
    const Spilled whole = TidyWithLimit(input, 4096, measure, std::numeric_limits<std::size_t>::max(), options);
    ASSERT_EQ(whole.status, JobStatus::kCompleted);
    EXPECT_EQ(whole.stats.split_chunks > 0, threads > 1);
    for (const std::size_t allowed : {std::size_t{0}, std::size_t{3}, std::size_t{40}, measure.reads - 2}) {
      MemoryRunStorage storage;
      storage.reads_allowed = allowed;
      expect_read_failure(TidyWithLimit(input, 4096, storage, std::numeric_limits<std::size_t>::max(), options),
                          storage, allowed);
    }
    JobOptions stretches = options;
    stretches.stretch_from = 64;
    stretches.hash_stretches_from = 3;
    for (const std::size_t allowed : {std::size_t{0}, std::size_t{3}}) {
      MemoryRunStorage storage;
      storage.reads_allowed = allowed;
      expect_read_failure(TidyWithLimit(pieces, 65536, storage, 4096, stretches), storage, allowed);
    }
  }
}

TEST(SpillFileTest, RunFilesNextToTheResult) {
  // Real run files, on this platform's file layer; source and result the
  // same file, and nothing left in the folder afterwards. With helpers, the
  // last merge reads the run files at offsets, side by side.
  Generator gen(18);
  std::vector<std::string> words;
  const auto vocabulary = gen.Vocabulary(AllWordBytes(), 3000, 12);
  for (int j = 0; j < 20000; ++j) words.push_back(vocabulary[gen.Below(vocabulary.size())]);
  const std::string input = gen.Join(words);
  for (const unsigned threads : {1u, 3u}) {
    ScratchFolder folder;
    WriteFile(folder.Path("list.txt"), input);
    SpillStats stats;
    JobOptions options;
    options.memory_limit = 8192;
    options.stats = &stats;
    options.threads = threads;
    options.split_merge_from = 0;
    const JobOutcome outcome = TidyWordList(folder.Path("list.txt"), folder.Path("list.txt"), options);
    ASSERT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
    EXPECT_EQ(ReadFile(folder.Path("list.txt")), ReferenceTidy(input));
    EXPECT_GT(stats.runs_written, RunStorage::kDefaultOpenAtOnce);
    EXPECT_EQ(stats.split_chunks > 0, threads > 1) << threads;
    EXPECT_EQ(folder.List(), std::vector<std::string>{"list.txt"});
  }
}

}  // namespace
}  // namespace lexset::test
