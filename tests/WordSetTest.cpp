//===- WordSetTest.cpp - The word set's memory limit ---------------------===//
//
// The set refuses a word that would take it past its limit, counting the
// array it will need to sort; the job then spills. Here the set is filled
// until it refuses, in each of the ways it stores words.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <set>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "core/WordSet.h"
#include "tests/WordListGenerator.h"

namespace lexset::test {
namespace {

// Inserts `words` one at a time until the set refuses one; checks the
// memory after every word and after sorting, and that the set then holds
// exactly the words it took. Tells whether the set was appending then.
void FillToTheLimit(const std::vector<std::string>& words, std::size_t limit,
                    std::size_t give_up_hashing_from = WordSet::kGiveUpHashingFrom, bool* appending = nullptr) {
  WordSet set(limit, give_up_hashing_from);
  std::set<std::string> taken;
  std::size_t refused_at = words.size();
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (set.InsertMany(&word, 1) != 1) {
      refused_at = i;
      break;
    }
    taken.insert(words[i]);
    ASSERT_LE(set.MemoryUsed(), limit) << "after word " << i;
  }
  EXPECT_LE(set.PeakMemoryAppending(), limit);
  ASSERT_LT(refused_at, words.size()) << "the limit was never reached";
  if (appending != nullptr) *appending = set.appending();
  set.Sort();
  EXPECT_LE(set.MemoryUsed(), limit);
  std::vector<std::string> held;
  set.ForEachSorted([&held](std::string_view w) {
    held.emplace_back(w);
    return true;
  });
  EXPECT_EQ(held, std::vector<std::string>(taken.begin(), taken.end()));
}

TEST(WordSetTest, InOrderStaysWithinTheLimit) {
  Generator gen(30);
  auto words = gen.Vocabulary("abcdefghij", 200000, 12);
  std::sort(words.begin(), words.end());
  for (std::size_t limit : {4096u, 65536u, 1u << 20}) FillToTheLimit(words, limit);
}

TEST(WordSetTest, HashingStaysWithinTheLimit) {
  Generator gen(31);
  const auto words = gen.Vocabulary(AllWordBytes(), 100000, 12);
  for (std::size_t limit : {4096u, 65536u, 1u << 20}) FillToTheLimit(words, limit);
}

TEST(WordSetTest, OrderBreakingLateStaysWithinTheLimit) {
  // Moving ordered words into the hash table must fit the limit too. Under
  // 4 MiB the ordered words cannot move and the first word out of order is
  // refused; under 16 MiB they move and the set goes on hashing.
  Generator gen(32);
  std::vector<std::string> words;
  for (int i = 0; i < 1150000; ++i) words.push_back(gen.Word("klmnopqrst", 8) + "z" + gen.Word("klmnopqrst", 8));
  std::sort(words.begin(), words.begin() + 150000);
  for (std::size_t limit : {65536u, 4u << 20, 16u << 20}) FillToTheLimit(words, limit);
}

TEST(WordSetTest, AppendingStaysWithinTheLimit) {
  // A million and a half new words make the set give up hashing and move
  // them into buckets, which must fit beside the table; long words then
  // fill the buckets. Under 48 MiB the set refuses the word at which the
  // words would move, under 64 MiB only one of the long words.
  Generator gen(33);
  std::vector<std::string> words;
  for (int i = 0; i < 1600000; ++i) {
    // Five letters or more: hardly a repeat, so that the table fills.
    std::string word(5 + gen.Below(6), 'a');
    for (char& c : word) c = static_cast<char>('a' + gen.Below(26));
    words.push_back(word);
  }
  for (int i = 0; i < 30000; ++i) words.push_back(gen.Word("abcdefghijklmnopqrstuvwxyz", 4000));
  bool appending = true;
  FillToTheLimit(words, std::size_t{48} << 20, WordSet::kGiveUpHashingFrom, &appending);
  EXPECT_FALSE(appending);
  FillToTheLimit(words, std::size_t{64} << 20, WordSet::kGiveUpHashingFrom, &appending);
  EXPECT_TRUE(appending);
  // Under small limits the buckets' tables shrink: one bucket, 2 by the
  // first byte, 128 by the first byte, 512 by the first two.
  words.resize(300000);
  for (std::size_t limit : {4096u, 16384u, 1u << 20, 4u << 20}) {
    FillToTheLimit(words, limit, 64, &appending);
    EXPECT_TRUE(appending) << limit;
  }
}

TEST(WordSetTest, AppendingKeepsBucketsEvenWhenNewPrefixesCome) {
  // Words that begin unlike the words the buckets were planned from must
  // not pile up in one bucket, whose sort would need an entry for nearly
  // every word, nor be moved to new buckets with the old ones held whole:
  // the set needs hardly more memory at its most than for the same words
  // shuffled. Shapes: Latin words, then GBK ones; pieces of words of one
  // first letter each, in ascending order; a list in order with a word out
  // of place every 97; 40 lists in order dealt word by word into one.
  Generator gen(35);
  const std::string latin = "abcdefghijklmnopqrstuvwxyz";
  std::string gbk_lead, gbk_trail;
  for (int c = 0x81; c <= 0xFE; ++c) gbk_lead += static_cast<char>(c);
  for (int c = 0x40; c <= 0xFE; ++c) gbk_trail += static_cast<char>(c);
  std::vector<std::vector<std::string>> shapes(4);
  for (int i = 0; i < 200000; ++i) shapes[0].push_back(gen.Word(latin, 12));
  for (int i = 0; i < 800000; ++i) {
    std::string word;
    for (std::size_t size = 1 + gen.Below(4); size > 0; --size) word += gen.Word(gbk_lead, 1) + gen.Word(gbk_trail, 1);
    shapes[0].push_back(word);
  }
  for (char first : latin) {
    for (int i = 0; i < 40000; ++i) shapes[1].push_back(first + gen.Word(latin, 10));
  }
  auto sorted = gen.Vocabulary(latin, 300000, 10);
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    shapes[2].push_back(sorted[i]);
    if (i % 97 == 96) shapes[2].push_back(gen.Word(latin, 11));
  }
  for (std::size_t i = 0; i < sorted.size() / 40; ++i) {
    for (std::size_t list = 0; list < 40; ++list) shapes[3].push_back(sorted[list * (sorted.size() / 40) + i]);
  }
  for (std::vector<std::string>& words : shapes) {
    std::size_t memory[2];
    for (std::size_t& used : memory) {
      WordSet set(WordSet::kNoLimit, 64);
      for (const std::string& word : words) set.Insert(word);
      EXPECT_TRUE(set.appending());
      set.Sort();
      used = std::max(set.MemoryUsed(), set.PeakMemoryAppending());
      std::shuffle(words.begin(), words.end(), gen.rng());
    }
    EXPECT_LT(memory[0], memory[1] + memory[1] / 4) << "shape " << (&words - shapes.data());
  }
  // Within a limit, where the words move to new buckets within it too:
  // GBK words after 30,000 Latin ones under 1 MiB, after 1,000 under 4 MiB,
  // after 10,000 under 256 KiB; words of one letter, then of all, which
  // are planned anew under 4 MiB and 256 KiB, though not under 16 KiB.
  for (auto [latin, limit] : {std::pair{30000, 1u << 20}, {1000, 4u << 20}, {10000, 256u << 10}}) {
    FillToTheLimit({shapes[0].begin() + 200000 - latin, shapes[0].end()}, limit, 64);
  }
  std::vector<std::string> one_then_all;
  for (int i = 0; i < 1000; ++i) one_then_all.push_back("a" + gen.Word(latin, 10));
  for (int i = 0; i < 300000; ++i) one_then_all.push_back(gen.Word(latin, 11));
  for (std::size_t limit : {4u << 20, 256u << 10, 16u << 10}) FillToTheLimit(one_then_all, limit, 64);
}

TEST(WordSetTest, RoomForTheTableCountsWhatIsHeldWithoutWrapping) {
  // Moving ordered words into the hash table needs room for them twice,
  // for the table and for the array they will be sorted in. In the 32-bit
  // program under the largest limit, twice an ordered text of nearly 2 GiB
  // is nearly all of 4 GiB: what more the table needs must be refused, not
  // wrap the sum around to a small number. Twice a larger text is more than
  // a size_t holds, and counts as the most it holds.
  constexpr std::size_t kLargest = std::numeric_limits<std::size_t>::max();
  struct Row {
    std::size_t limit;
    std::size_t held;
    std::size_t words;  // 1 << 10 need 32 KiB, 1 << 16 need 2 MiB
    bool fits;
  };
  const Row rows[] = {
      {1 << 20, 0, 1 << 10, true},
      {1 << 20, 0, 1 << 16, false},
      {kLargest - 1, kLargest - (1 << 20), 1 << 10, true},
      {kLargest - 1, kLargest - (1 << 20), 1 << 16, false},
      {kLargest - 1, kLargest, 1 << 10, false},
  };
  for (const Row& row : rows) {
    HashedWords words(WordArena::kFirstBlockSize, row.limit, WordSet::kGiveUpHashingFrom);
    bool fits = true;
    try {
      words.Reserve(row.words, row.held);
    } catch (const std::bad_alloc&) {
      fits = false;
    }
    EXPECT_EQ(fits, row.fits) << "limit " << row.limit << ", held " << row.held << ", words " << row.words;
  }
}

TEST(WordSetTest, AppendingRefusesAWordOf4GiB) {
  // Buckets note a word's size in 32 bits: a larger word is refused before
  // anything is taken for it, with no limit to refuse it first. The word is
  // a read-only mapping of zero pages, which costs no memory.
#if defined(__linux__) && SIZE_MAX > UINT32_MAX
  const std::size_t size = (std::size_t{1} << 32) + 1;
  void* zeros = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(zeros, MAP_FAILED);
  Generator gen(34);
  WordSet set(WordSet::kNoLimit, 64);
  for (const std::string& word : gen.Vocabulary("abcdefghij", 1000, 10)) set.Insert(word);
  ASSERT_TRUE(set.appending());
  const std::size_t memory = set.MemoryUsed();
  const std::string_view huge(static_cast<const char*>(zeros), size);
  EXPECT_EQ(set.InsertMany(&huge, 1), 0u);
  EXPECT_EQ(set.MemoryUsed(), memory);
  munmap(zeros, size);
#elif defined(__linux__)
  GTEST_SKIP() << "no word of 4 GiB in a 32-bit process";
#else
  GTEST_SKIP() << "needs a mapping of zero pages";
#endif
}

}  // namespace
}  // namespace lexset::test
