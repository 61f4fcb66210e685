//===- WordSetTest.cpp - The word set's memory limit ---------------------===//
//
// The set refuses a word that would take it past its limit, counting the
// array it will need to sort; the job then spills. Here the set is filled
// until it refuses, in each of the ways it stores words.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
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
// exactly the words it took.
void FillToTheLimit(const std::vector<std::string>& words, std::size_t limit) {
  WordSet set(limit);
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
  ASSERT_LT(refused_at, words.size()) << "the limit was never reached";
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
  // fill the buckets. Under 32 MiB the set refuses a word about where the
  // words move, under 48 MiB only among the long words.
  Generator gen(33);
  auto words = gen.Vocabulary("abcdefghijklmnopqrstuvwxyz", 1600000, 10);
  for (int i = 0; i < 60000; ++i) words.push_back(gen.Word("abcdefghijklmnopqrstuvwxyz", 4000));
  for (std::size_t limit : {std::size_t{32} << 20, std::size_t{48} << 20}) FillToTheLimit(words, limit);
}

TEST(WordSetTest, AppendingRefusesAWordOf4GiB) {
  // Buckets note a word's size in 32 bits: a larger word is refused before
  // anything is taken for it, with no limit to refuse it first. The word is
  // a read-only mapping of zero pages, which costs no memory.
#if defined(__linux__)
  if (sizeof(std::size_t) < 8) GTEST_SKIP() << "no word of 4 GiB in a 32-bit process";
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
#else
  GTEST_SKIP() << "needs a mapping of zero pages";
#endif
}

}  // namespace
}  // namespace lexset::test
