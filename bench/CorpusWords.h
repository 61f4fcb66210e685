//===- CorpusWords.h - The words lexset-corpus writes --------------------===//
//
// Word makers for the profiles: mixed-script words, random unique words,
// separators, a vocabulary of distinct words with a Zipf-like sampler,
// distinct words in ascending order, and a long tail of words made from
// their numbers. All of them draw from Random only, in a fixed order, so
// the same seed gives the same words everywhere.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench/Random.h"

namespace lexset::bench {

// One word of a natural-looking mixture of scripts: ASCII, accented Latin
// and Chinese in UTF-8, GBK (code page 936), and a few with control bytes.
void MakeMixedWord(Random& random, std::string& word);

// A random word of 6-14 bytes; two of them rarely agree.
void MakeUniqueWord(Random& random, std::string& word);

// Mostly single spaces and line ends, sometimes tabs, vertical tabs, form
// feeds and runs of several separators (`scratch` holds those).
std::string_view MixedSeparator(Random& random, std::string& scratch);

// Distinct words kept end to end in one buffer.
class Vocabulary {
 public:
  void Add(std::string_view word) {
    bytes_.append(word);
    ends_.push_back(bytes_.size());
  }
  std::size_t size() const { return ends_.size(); }
  std::string_view operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }

 private:
  std::string bytes_;
  std::vector<std::size_t> ends_;
};

// `count` distinct mixed words in the order they were first drawn.
Vocabulary MakeMixedVocabulary(Random& random, std::size_t count);

// Draws ranks 0..n-1 with probability proportional to 1/(rank+1) by Walker's
// alias method, in integers only so that no floating-point library can
// change the outcome, and in constant time per draw.
class ZipfSampler {
 public:
  explicit ZipfSampler(std::size_t n);

  std::size_t Draw(Random& random) const {
    const std::size_t bucket = static_cast<std::size_t>(random.Below(threshold_.size()));
    return random.Below(total_) < threshold_[bucket] ? bucket : alias_[bucket];
  }

 private:
  std::uint64_t total_ = 0;
  std::vector<std::uint64_t> threshold_;
  std::vector<std::uint32_t> alias_;
};

// Distinct words in ascending unsigned-byte order, one at a time. The first
// two bytes follow the share of the corpus written so far, so the words
// spread over the whole byte range whatever the size; the rest counts
// upwards like an odometer with random steps and random lengths.
class SortedWords {
 public:
  SortedWords();

  // The next word, `written` bytes into a list of `size` bytes.
  std::string_view Next(Random& random, std::uint64_t written, std::uint64_t size);

  // A word from anywhere in the same range, of the same lengths, drawn
  // without touching the ascending sequence: a word out of place.
  std::string_view Anywhere(Random& random);

 private:
  void Fill(Random& random, std::size_t length);

  std::vector<unsigned char> alphabet_;
  std::size_t slot_[256] = {};
  std::string word_;
  std::string anywhere_;
  std::size_t cell_ = 0;
};

// The words of a long tail, each made from its number alone, so that none
// has to be kept: a mixed word from a generator seeded by the number, then
// the number itself in a fixed count of base-64 digits. Two numbers never
// give the same word, since the last digits tell them apart.
class TailWords {
 public:
  TailWords(std::uint64_t count, std::uint64_t seed) : seed_(seed) {
    while (digits_ < 11 && (std::uint64_t{1} << (6 * digits_)) < count) ++digits_;
  }

  std::string_view operator()(std::uint64_t number);

 private:
  std::uint64_t seed_;
  std::size_t digits_ = 1;
  std::string word_;
};

}  // namespace lexset::bench
