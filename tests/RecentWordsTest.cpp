//===- RecentWordsTest.cpp - Keys of the cache of recent words -----------===//
//
// A hit in the cache stands for the whole word, so two different words of
// up to 16 bytes must never share a key.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/RecentWords.h"
#include "tests/WordListGenerator.h"

namespace lexset::test {
namespace {

std::tuple<std::uint64_t, std::uint64_t, std::uint32_t> AsTuple(const RecentWords::Key& key) {
  return {key.low, key.high, key.size};
}

TEST(RecentWordsTest, DifferentWordsHaveDifferentKeys) {
  std::vector<std::string> words;
  // Every word of up to six bytes over an alphabet with NUL, whose keys
  // come from overlapping loads and zero padding.
  std::vector<std::string> frontier = {""};
  for (int size = 1; size <= 6; ++size) {
    std::vector<std::string> next;
    for (const std::string& w : frontier) {
      for (char c : std::string("a\0", 2)) next.push_back(w + c);
    }
    words.insert(words.end(), next.begin(), next.end());
    frontier = next;
  }
  // Words of 7 to 16 bytes alike but for one byte, anywhere.
  for (std::size_t size = 7; size <= RecentWords::kMaxSize; ++size) {
    for (std::size_t at = 0; at < size; ++at) {
      std::string w(size, 'q');
      w[at] = 'r';
      words.push_back(w);
      words.push_back(std::string(size, 'q'));
    }
  }
  Generator gen(20);
  for (const std::string& w : gen.Vocabulary(std::string("xy\0\xff", 4), 20000, 16)) words.push_back(w);

  std::set<std::string> distinct(words.begin(), words.end());
  std::set<std::tuple<std::uint64_t, std::uint64_t, std::uint32_t>> keys;
  for (const std::string& w : distinct) keys.insert(AsTuple(RecentWords::KeyOf(w)));
  EXPECT_EQ(keys.size(), distinct.size());
}

}  // namespace
}  // namespace lexset::test
