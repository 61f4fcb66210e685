//===- DifferentialTest.cpp - The core against the reference on generated lists ===//
//
// Many generated sources, each shaped to reach a different path of the core
// (hash table growth, the radix sort's deep levels, words straddling reads,
// ascending runs that break), compared byte for byte with the reference.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/TidyJob.h"
#include "tests/TestSupport.h"
#include "tests/WordListGenerator.h"

namespace lexset::test {
namespace {

using namespace std::string_literals;

// Runs `input` whole and with small, uneven reads, where the word set gives
// up hashing early, as on lists of millions of new words, and a few words
// in order make a stretch, written out as it comes to the result or to a
// run file, as thousands do in a real list; and compares both with the
// reference. The second run reads ahead on a thread of its own, and sorts on
// helpers, for three inputs in four.
void ExpectMatchesReference(const std::string& input, Generator& gen) {
  const std::string expected = ReferenceTidy(input);
  ASSERT_EQ(TidyInMemory(input), expected);
  JobOptions small;
  small.threads = 1 + static_cast<unsigned>(input.size() % 4);
  small.read_block_size = 16 + gen.Below(200);
  small.write_buffer_size = 1 + gen.Below(100);
  small.give_up_hashing_from = 64;
  small.stretch_from = 1 + gen.Below(40);
  small.hash_stretches_from = 1 + small.stretch_from % 6;
  small.split_merge_from = input.size() / 4 % 3 == 0 ? DistinctWords::kSplitMergeFrom : input.size() % 2000;
  ASSERT_EQ(TidyInMemory(input, small, 1 + gen.Below(50), gen.Below(2) == 0), expected);
}

TEST(DifferentialTest, RandomBytesOfEveryValue) {
  Generator gen(1);
  for (int i = 0; i < 300; ++i) {
    std::string input(gen.Below(3000), '\0');
    for (char& c : input) c = static_cast<char>(gen.Below(256));
    ExpectMatchesReference(input, gen);
  }
}

TEST(DifferentialTest, FewBytesManyCollisions) {
  // A tiny alphabet with NUL and high bytes makes many words equal in their
  // first bytes, and some 0x1A ends the input early.
  Generator gen(2);
  const std::string alphabet("ab\0\xff\x80 \n", 7);
  for (int i = 0; i < 300; ++i) {
    std::string input(gen.Below(2000), '\0');
    for (char& c : input) c = alphabet[gen.Below(alphabet.size())];
    if (gen.Below(10) == 0) input.insert(gen.Below(input.size() + 1), 1, '\x1a');
    ExpectMatchesReference(input, gen);
  }
}

TEST(DifferentialTest, Utf16Sources) {
  // Small reads cut code units and surrogate pairs; some U+001A ends the
  // input early.
  Generator gen(12);
  for (int i = 0; i < 300; ++i) {
    std::string input = gen.Utf16Text(kHardUtf16Units, gen.Below(2000));
    if (gen.Below(10) == 0) input.insert(2 + 2 * gen.Below(input.size() / 2), input[0] == '\xFF' ? "\x1a\0"s : "\0\x1a"s);
    ExpectMatchesReference(input, gen);
  }
  // Enough distinct words to hash and sort, ascending for a while.
  const std::u16string letters = u"ab\u4E2D\U0001F600";
  std::vector<std::u16string> words(30000);
  for (std::u16string& word : words) {
    for (std::size_t size = 1 + gen.Below(8); size > 0; --size) word += letters[gen.Below(letters.size())];
  }
  std::sort(words.begin(), words.begin() + 10000);
  std::u16string units(1, u'\uFEFF');
  for (const std::u16string& word : words) units += word + u"\r\n";
  ExpectMatchesReference(Utf16Bytes(units, true), gen);
  ExpectMatchesReference(Utf16Bytes(units, false), gen);
}

TEST(DifferentialTest, HeavyRepetition) {
  Generator gen(3);
  for (int i = 0; i < 40; ++i) {
    const auto vocabulary = gen.Vocabulary(AllWordBytes(), 1 + gen.Below(300), 12);
    std::vector<std::string> words;
    for (int j = 0; j < 5000; ++j) words.push_back(vocabulary[gen.Below(vocabulary.size())]);
    ExpectMatchesReference(gen.Join(words), gen);
  }
}

TEST(DifferentialTest, ManyDistinctWords) {
  // Enough words to grow the hash table many times and fill radix buckets.
  Generator gen(4);
  for (const char* alphabet : {"ab", "abcdefghijklmnopqrstuvwxyz",
                               "\x80\x81\xfe\xff"
                               "AZaz09"}) {
    auto words = gen.Vocabulary(alphabet, 60000, 14);
    ExpectMatchesReference(gen.Join(words), gen);
  }
}

TEST(DifferentialTest, FewWordsMakingUpLongLists) {
  // Long enough for the cache of recent words to be tried and used; words
  // around its 16-byte bound, equal in their first or last eight bytes.
  Generator gen(10);
  std::vector<std::string> vocabulary = gen.Vocabulary(std::string("ab\0\xff", 4), 1500, 20);
  for (std::size_t size = 1; size <= 18; ++size) {
    vocabulary.push_back(std::string(size, 'q'));
    vocabulary.push_back(std::string(size, 'q') + "r");
    vocabulary.push_back("r" + std::string(size, 'q'));
  }
  for (int round = 0; round < 3; ++round) {
    std::vector<std::string> words;
    for (int j = 0; j < 400000; ++j) words.push_back(vocabulary[gen.Below(vocabulary.size())]);
    ExpectMatchesReference(gen.Join(words), gen);
  }
}

TEST(DifferentialTest, SortedAndReverseSorted) {
  Generator gen(5);
  auto words = gen.Vocabulary(AllWordBytes(), 20000, 10);
  std::sort(words.begin(), words.end());
  ExpectMatchesReference(gen.Join(words), gen);
  // Ascending with each word repeated in place.
  std::vector<std::string> doubled;
  for (const auto& w : words) doubled.insert(doubled.end(), 1 + gen.Below(3), w);
  ExpectMatchesReference(gen.Join(doubled), gen);
  std::reverse(words.begin(), words.end());
  ExpectMatchesReference(gen.Join(words), gen);
}

TEST(DifferentialTest, AscendingThenNot) {
  // The ascending fast path must hand over to hashing at any point.
  Generator gen(6);
  for (int i = 0; i < 50; ++i) {
    auto words = gen.Vocabulary("abcdef", 2000, 6);
    const std::size_t ordered = gen.Below(words.size());
    std::sort(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(ordered));
    ExpectMatchesReference(gen.Join(words), gen);
  }
}

// Lists made of pieces in order, as lists are kept up to date: new words
// after a tidied list, tidied lists put together, pieces overlapping and
// repeating each other's words, and a shuffled part between pieces.
std::vector<std::vector<std::string>> SortedPieces(Generator& gen, const std::vector<std::string>& vocabulary) {
  std::vector<std::string> sorted = vocabulary;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::vector<std::string>> shapes;
  // A tidied list, then new words and some it has.
  std::vector<std::string> appended = sorted;
  for (int i = 0; i < 300; ++i) appended.push_back(gen.Below(3) == 0 ? sorted[gen.Below(sorted.size())] : gen.Word("abcz", 7));
  shapes.push_back(appended);
  // Dealt into pieces, line i to piece i mod k.
  for (std::size_t k : {2u, 3u, 9u}) {
    std::vector<std::string> dealt;
    for (std::size_t piece = 0; piece < k; ++piece) {
      for (std::size_t i = piece; i < sorted.size(); i += k) dealt.push_back(sorted[i]);
    }
    shapes.push_back(dealt);
  }
  // Pieces drawn from the same words, each in order, with repeats.
  std::vector<std::string> overlapping;
  for (int piece = 0; piece < 4; ++piece) {
    std::vector<std::string> some;
    for (std::size_t i = 0; i < sorted.size() / 2; ++i) some.push_back(sorted[gen.Below(sorted.size())]);
    std::sort(some.begin(), some.end());
    overlapping.insert(overlapping.end(), some.begin(), some.end());
  }
  shapes.push_back(overlapping);
  // In order, shuffled, in order again.
  std::vector<std::string> mixed = sorted;
  std::shuffle(mixed.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 3),
               mixed.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), gen.rng());
  shapes.push_back(mixed);
  return shapes;
}

TEST(DifferentialTest, PiecesInOrder) {
  // Each shape as one source and as one source a piece, with stretches
  // from a few words on, whose ends fall anywhere in a read block; and
  // the same in UTF-16, whose result is read back through its encoding.
  Generator gen(13);
  const auto shapes = SortedPieces(gen, gen.Vocabulary(AllWordBytes(), 4000, 9));
  for (std::size_t shape = 0; shape < shapes.size(); ++shape) {
    const std::string input = gen.Join(shapes[shape]);
    ExpectMatchesReference(input, gen);
    ExpectMatchesReference("\xEF\xBB\xBF" + input, gen);

    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < shapes[shape].size(); ++i) {
      if (i > 0 && shapes[shape][i] < shapes[shape][i - 1]) pieces.emplace_back();
      pieces.back() += shapes[shape][i] + "\r\n";
    }
    std::vector<std::unique_ptr<MemorySource>> sources;
    std::vector<ByteSource*> pointers;
    for (const std::string& piece : pieces) {
      sources.push_back(std::make_unique<MemorySource>(piece, 1 + gen.Below(300)));
      pointers.push_back(sources.back().get());
    }
    MemorySink sink;
    MemoryRunStorage runs;
    JobOptions options;
    options.read_block_size = 64;
    options.stretch_from = 1 + gen.Below(20);
    options.threads = 1 + static_cast<unsigned>(shape % 3);
    // Pieces of a few KB make runs, which after a few are read back into
    // the set.
    options.memory_limit = 65536;
    options.hash_stretches_from = 1 + shape % 4;
    ASSERT_EQ(TidyWords(pointers, sink, options, &runs, nullptr), JobStatus::kCompleted);
    EXPECT_EQ(sink.bytes(), ReferenceTidy(input)) << "shape " << shape << ", " << pieces.size() << " sources";
  }
  const std::u16string letters = u"ab\u00E9\u4E2D\uFF01";
  std::vector<std::u16string> words(3000);
  for (std::u16string& word : words) {
    for (std::size_t size = 1 + gen.Below(6); size > 0; --size) word += letters[gen.Below(letters.size())];
  }
  std::sort(words.begin(), words.end());
  std::u16string units(1, u'\uFEFF');
  for (std::size_t i = 0; i < words.size(); i += 2) units += words[i] + u"\r\n";
  for (std::size_t i = 1; i < words.size(); i += 2) units += words[i] + u" ";
  ExpectMatchesReference(Utf16Bytes(units, true), gen);
  ExpectMatchesReference(Utf16Bytes(units, false), gen);
}

TEST(DifferentialTest, NearlyAllNewThenRepeats) {
  // Millions of new words make the set give up hashing and append to
  // buckets planned from the words so far; the repeats that come after must
  // still be dropped, wherever they sort. Each shape reaches other corners
  // of the buckets: a few prefixes, every byte value (words of one byte
  // among them), and words that begin unlike those the plan was made from
  // (the buckets are planned again, or not where one prefix outgrows the
  // rest), long ones that need a chunk of their own and thousands of one
  // prefix.
  Generator gen(9);
  const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int shape = 0; shape < 3; ++shape) {
    std::vector<std::string> words;
    for (int i = 0; i < 2400000; ++i) {
      std::string word(shape == 1 ? 1 + gen.Below(6) : 9, '\0');
      for (char& c : word) c = shape == 1 ? static_cast<char>(gen.Below(256)) : letters[gen.Below(letters.size())];
      if (shape == 1 && word.find_first_of(std::string(kSeparators, 6) + '\x1A') != std::string::npos) continue;
      if (shape == 2 && i > 2000000) word = gen.Below(2) ? "\xFF\xFE" + word : "!" + word;
      if (shape == 2 && i % 100000 == 0) word = gen.Word("xy", 40000);
      words.push_back(word);
    }
    for (int i = 0; i < 300000; ++i) words.push_back(words[gen.Below(words.size())]);
    std::string input;
    input.reserve(words.size() * 8);
    for (const std::string& w : words) input += w + '\n';
    // The buckets are sorted ahead on helpers too.
    JobOptions threads;
    threads.threads = 1 + static_cast<unsigned>(shape);
    ASSERT_EQ(TidyInMemory(input, threads), ReferenceTidy(input)) << "shape " << shape;
  }
}

TEST(DifferentialTest, LongCommonPrefixes) {
  // Words that agree in hundreds of bytes send the sort through many levels.
  Generator gen(7);
  for (std::size_t prefix_size : {3u, 4u, 5u, 8u, 301u, 4096u}) {
    const std::string prefix = gen.Word("xyz\0", prefix_size) + std::string(prefix_size % 3, '\0');
    std::vector<std::string> words;
    for (int j = 0; j < 3000; ++j) {
      std::string tail = gen.Below(5) == 0 ? std::string() : gen.Word(std::string("ab\0", 3), 9);
      words.push_back(prefix.substr(0, prefix.size() - gen.Below(3)) + tail);
    }
    ExpectMatchesReference(gen.Join(words), gen);
  }
}

TEST(DifferentialTest, LongWords) {
  // Words much longer than a read block, and one longer than an arena chunk.
  Generator gen(8);
  std::vector<std::string> words;
  for (int j = 0; j < 20; ++j) words.push_back(gen.Word("ab", 100000));
  words.push_back(std::string(3 << 20, 'q'));
  words.push_back(std::string(3 << 20, 'q') + "r");
  words.push_back(words[3]);
  std::shuffle(words.begin(), words.end(), gen.rng());
  ExpectMatchesReference(gen.Join(words), gen);
}

}  // namespace
}  // namespace lexset::test
