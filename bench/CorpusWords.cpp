//===- CorpusWords.cpp - The words lexset-corpus writes ------------------===//
//
// The order of the draws is part of every corpus's bytes: changing it
// changes the corpora (bump CORPUS_VERSION in bench/run.sh).
//
//===----------------------------------------------------------------------===//
#include "bench/CorpusWords.h"

#include <algorithm>
#include <iterator>
#include <unordered_set>

namespace lexset::bench {

namespace {

void AppendUtf8(std::string& out, std::uint32_t code_point) {
  if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
  }
  out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
}

char Letter(Random& random) { return static_cast<char>('a' + random.Below(26)); }

void AppendAscii(Random& random, std::string& out, std::size_t letters) {
  for (std::size_t i = 0; i < letters; ++i) {
    char c = Letter(random);
    if (i == 0 && random.Chance(120)) c = static_cast<char>(c - 'a' + 'A');
    if (random.Chance(25)) c = static_cast<char>('0' + random.Below(10));
    out.push_back(c);
  }
}

// Latin letters, about one in four of them accented (two bytes in UTF-8).
void AppendAccented(Random& random, std::string& out, std::size_t letters) {
  static constexpr std::uint16_t kAccented[] = {0xE0, 0xE1, 0xE2, 0xE4, 0xE5,  0xE6,  0xE7,  0xE8,  0xE9,  0xEA, 0xEB,
                                                0xED, 0xEE, 0xEF, 0xF1, 0xF3,  0xF4,  0xF6,  0xF8,  0xFA,  0xFC, 0xDF,
                                                0xC0, 0xC9, 0xD6, 0xDC, 0x153, 0x142, 0x161, 0x10D, 0x17E, 0x103};
  for (std::size_t i = 0; i < letters; ++i) {
    if (random.Chance(250)) {
      AppendUtf8(out, kAccented[random.Below(std::size(kAccented))]);
    } else {
      out.push_back(Letter(random));
    }
  }
}

// CJK unified ideographs, three bytes each in UTF-8.
void AppendHan(Random& random, std::string& out, std::size_t chars) {
  for (std::size_t i = 0; i < chars; ++i) AppendUtf8(out, static_cast<std::uint32_t>(random.Between(0x4E00, 0x9FA5)));
}

// Double-byte characters of code page 936: mostly from the common GB2312
// block, some from the whole GBK range, whose trail bytes include ASCII
// letters and punctuation (0x40-0x7E).
void AppendGbk(Random& random, std::string& out, std::size_t chars) {
  for (std::size_t i = 0; i < chars; ++i) {
    if (random.Chance(700)) {
      out.push_back(static_cast<char>(random.Between(0xB0, 0xF7)));
      out.push_back(static_cast<char>(random.Between(0xA1, 0xFE)));
    } else {
      out.push_back(static_cast<char>(random.Between(0x81, 0xFE)));
      const auto trail = random.Below(190);  // 0x40-0x7E and 0x80-0xFE
      out.push_back(static_cast<char>(trail < 63 ? 0x40 + trail : 0x80 + trail - 63));
    }
  }
}

// The sum of two draws, in [0, a + b - 2], most often near the middle.
// (Separate statements: the order in which the operands of + or the
// arguments of a call are evaluated differs between compilers, and every
// draw must come in the same order everywhere.)
std::size_t TwoDraws(Random& random, std::uint64_t a, std::uint64_t b) {
  const std::uint64_t first = random.Below(a);
  return static_cast<std::size_t>(first + random.Below(b));
}

std::size_t HanWordLength(Random& random) {
  const auto p = random.Below(100);
  return p < 15 ? 1 : p < 65 ? 2 : p < 85 ? 3 : 4;
}

}  // namespace

// One word of a natural-looking mixture of scripts. A few carry a control
// byte (never a separator or 0x1A), which every peer must treat as part of
// the word.
void MakeMixedWord(Random& random, std::string& word) {
  word.clear();
  const auto kind = random.Below(1000);
  if (kind < 500) {
    AppendAscii(random, word, 1 + TwoDraws(random, 6, 7));
  } else if (kind < 650) {
    AppendAccented(random, word, 2 + TwoDraws(random, 5, 6));
  } else if (kind < 850) {
    AppendHan(random, word, HanWordLength(random));
  } else if (kind < 998) {
    AppendGbk(random, word, HanWordLength(random));
  } else {
    static constexpr unsigned char kControls[] = {0x00, 0x01, 0x07, 0x08, 0x0E, 0x19, 0x1B, 0x1F, 0x7F};
    AppendAscii(random, word, 2 + random.Below(6));
    const auto at = static_cast<std::ptrdiff_t>(random.Below(word.size() + 1));
    word.insert(word.begin() + at, static_cast<char>(kControls[random.Below(std::size(kControls))]));
  }
}

// A random word of 6-14 bytes; two of them rarely agree.
void MakeUniqueWord(Random& random, std::string& word) {
  static constexpr char kAlphanumerics[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  word.clear();
  const std::size_t bytes = random.Between(6, 14);
  const auto kind = random.Below(100);
  if (kind < 60) {
    for (std::size_t i = 0; i < bytes; ++i) word.push_back(kAlphanumerics[random.Below(62)]);
  } else if (kind < 80) {
    AppendHan(random, word, bytes / 3);
  } else {
    AppendGbk(random, word, bytes / 2);
  }
}

// Mostly single spaces and line ends, sometimes tabs, vertical tabs, form
// feeds and runs of several separators, as in lists pasted together.
std::string_view MixedSeparator(Random& random, std::string& scratch) {
  const auto p = random.Below(1000);
  if (p < 600) return " ";
  if (p < 750) return "\n";
  if (p < 850) return "\r\n";
  if (p < 920) return "\t";
  if (p < 930) return "\v";
  if (p < 940) return "\f";
  static constexpr char kSeparators[] = " \t\n\v\f\r";
  scratch.clear();
  for (auto n = random.Between(2, 6); n != 0; --n) scratch.push_back(kSeparators[random.Below(6)]);
  return scratch;
}

// `count` distinct mixed words in the order they were first drawn.
Vocabulary MakeMixedVocabulary(Random& random, std::size_t count) {
  Vocabulary vocabulary;
  std::unordered_set<std::string> seen;
  seen.reserve(count);
  std::string word;
  while (vocabulary.size() < count) {
    MakeMixedWord(random, word);
    if (seen.insert(word).second) vocabulary.Add(word);
  }
  return vocabulary;
}

ZipfSampler::ZipfSampler(std::size_t n) : threshold_(n), alias_(n) {
  // Weight of rank r: 2^40 / (r+1). Scaled by n, each bucket holds `total_`.
  std::vector<std::uint64_t> scaled(n);
  for (std::size_t r = 0; r < n; ++r) {
    const std::uint64_t weight = (std::uint64_t{1} << 40) / (r + 1);
    total_ += weight;
    scaled[r] = weight * n;
  }
  std::vector<std::uint32_t> small, large;
  for (std::size_t r = n; r-- > 0;) (scaled[r] < total_ ? small : large).push_back(static_cast<std::uint32_t>(r));
  while (!small.empty() && !large.empty()) {
    const std::uint32_t s = small.back();
    small.pop_back();
    const std::uint32_t l = large.back();
    threshold_[s] = scaled[s];
    alias_[s] = l;
    scaled[l] -= total_ - scaled[s];
    if (scaled[l] < total_) {
      large.pop_back();
      small.push_back(l);
    }
  }
  for (const std::uint32_t r : large) threshold_[r] = total_, alias_[r] = r;
  for (const std::uint32_t r : small) threshold_[r] = total_, alias_[r] = r;  // only by rounding, if ever
}

SortedWords::SortedWords() {
  for (int c = '0'; c <= '9'; ++c) alphabet_.push_back(static_cast<unsigned char>(c));
  for (int c = 'A'; c <= 'Z'; ++c) alphabet_.push_back(static_cast<unsigned char>(c));
  for (int c = 'a'; c <= 'z'; ++c) alphabet_.push_back(static_cast<unsigned char>(c));
  for (int c = 0xA1; c <= 0xFE; ++c) alphabet_.push_back(static_cast<unsigned char>(c));
  for (std::size_t i = 0; i < alphabet_.size(); ++i) slot_[alphabet_[i]] = i;
}

std::string_view SortedWords::Next(Random& random, std::uint64_t written, std::uint64_t size) {
  const std::size_t a = alphabet_.size();
  const auto cell = static_cast<std::size_t>(static_cast<unsigned __int128>(written) * (a * a) / size);
  const std::size_t length = random.Between(6, 14);
  if (word_.empty() || cell != cell_) {
    cell_ = cell;
    word_.assign({static_cast<char>(alphabet_[cell / a]), static_cast<char>(alphabet_[cell % a])});
    Fill(random, length);
    return word_;
  }
  // Raise one byte and replace what follows it: the word grows strictly.
  std::size_t i = std::min(word_.size(), length) - 1;
  std::size_t step = random.Between(1, 3);
  for (;;) {
    if (i < 2) {  // every byte after the first two is at its top
      word_.push_back(static_cast<char>(alphabet_[random.Below(a)]));
      return word_;
    }
    const std::size_t slot = slot_[static_cast<unsigned char>(word_[i])] + step;
    if (slot < a) {
      word_[i] = static_cast<char>(alphabet_[slot]);
      word_.resize(i + 1);
      Fill(random, length);
      return word_;
    }
    --i;
    step = 1;
  }
}

std::string_view SortedWords::Anywhere(Random& random) {
  anywhere_.clear();
  const std::size_t length = random.Between(6, 14);
  while (anywhere_.size() < length) anywhere_.push_back(static_cast<char>(alphabet_[random.Below(alphabet_.size())]));
  return anywhere_;
}

void SortedWords::Fill(Random& random, std::size_t length) {
  while (word_.size() < length) word_.push_back(static_cast<char>(alphabet_[random.Below(alphabet_.size())]));
}

std::string_view TailWords::operator()(std::uint64_t number) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_-";
  Random random(seed_ + number);
  MakeMixedWord(random, word_);
  for (std::size_t i = digits_; i-- > 0;) word_.push_back(kDigits[(number >> (6 * i)) & 63]);
  return word_;
}

}  // namespace lexset::bench
