//===- lexset-corpus.cpp - Word lists to benchmark the job on ------------===//
//
// lexset-corpus PROFILE SIZE OUT_FILE [--seed N] [--words FILE]...
//                [--pieces K] [--split]
//
// Writes exactly SIZE bytes (a number, or with a K, M or G suffix for
// binary multiples) of words and separators to OUT_FILE. The same arguments
// give the same bytes on every machine: all randomness comes from Random.h
// and only integer arithmetic decides what is written. The byte 0x1A, which
// ends the input for lexset, is never written, so every peer reads the
// whole file (appended alone writes more than SIZE: see below).
//
// Profiles:
//   zipf      words drawn Zipf-like (exponent 1) from a million distinct
//             words in ASCII, accented Latin and Chinese UTF-8, and GBK
//             (code page 936); mixed separators and runs of them
//   unique    random words of 6-14 bytes, nearly all distinct
//   sorted    distinct words already in ascending byte order, made in order
//             so the memory used does not grow with SIZE
//   appended  a tidied list with new words added at its end: the sorted
//             profile's SIZE bytes, then the unique profile's first 100 KiB
//             (made with the same seed), SIZE + 100 KiB in all; the same
//             bytes as those two corpora one after the other
//   pieces    tidied lists put together: the sorted profile's lines dealt
//             into K pieces (--pieces, 2 by default), line i to piece
//             i mod K, and the pieces one after the other, so K = 2 is the
//             odd lines, then the even lines. The pieces are written side by
//             side to OUT_FILE.1 ... OUT_FILE.K, then joined into OUT_FILE;
//             with --split they are kept (as K sources of the same words).
//             Memory: one 4 MiB buffer shared out between the pieces (64 KiB
//             at least each), and the joining: about 13 MiB whatever SIZE
//   dupheavy  a few thousand distinct words repeated to fill SIZE
//   real      the words of the given word lists (--words FILE, the first
//             field of each line), shuffled and repeated to fill SIZE
//   spill     far more distinct words than a small memory budget holds,
//             repeated all through the file: a quarter of the words drawn
//             as in zipf, the rest uniformly from a long tail of distinct
//             mixed words (one for every 11 bytes of SIZE), so a tail word
//             comes 1.4 times on average, anywhere in the file; made in
//             constant memory whatever SIZE
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "bench/Random.h"

namespace {

using lexset::bench::Random;

constexpr char kUsage[] =
    "usage: lexset-corpus PROFILE SIZE OUT_FILE [--seed N] [--words FILE]...\n"
    "                     [--pieces K] [--split]\n"
    "  PROFILE  zipf, unique, sorted, dupheavy, real (needs --words), spill,\n"
    "           appended (sorted, then 100 KiB of unique) or pieces (sorted,\n"
    "           dealt into K pieces: --pieces K, 2 by default; --split keeps\n"
    "           them as OUT_FILE.1 ... OUT_FILE.K beside OUT_FILE)\n"
    "  SIZE     bytes, or with a K, M or G suffix (binary multiples)\n";

constexpr std::size_t kZipfVocabulary = 1000000;
constexpr std::size_t kDupheavyVocabulary = 4000;
// The spill profile's share of common words, per mille, and how many bytes
// of the corpus there are for each word of its long tail.
constexpr unsigned kSpillCommonPerMille = 250;
constexpr std::uint64_t kSpillBytesPerTailWord = 11;
// The new words of the appended profile.
constexpr std::uint64_t kAppendedBytes = std::uint64_t{100} << 10;

// The separators lexset splits on; 0x1A is left out of every word too.
bool IsSeparator(unsigned char byte) { return byte == 0x20 || (byte >= 0x09 && byte <= 0x0D); }

bool ParseNumber(const char* text, std::uint64_t& value, bool with_suffix) {
  if (*text < '0' || *text > '9') return false;
  std::uint64_t n = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (n > (UINT64_MAX - 9) / 10) return false;
    n = n * 10 + static_cast<std::uint64_t>(*text - '0');
  }
  int shift = 0;
  if (with_suffix && *text != '\0' && text[1] == '\0') {
    switch (*text) {
      case 'K':
      case 'k':
        shift = 10;
        ++text;
        break;
      case 'M':
      case 'm':
        shift = 20;
        ++text;
        break;
      case 'G':
      case 'g':
        shift = 30;
        ++text;
        break;
      default:
        return false;
    }
  }
  if (*text != '\0' || n > (UINT64_MAX >> shift)) return false;
  value = n << shift;
  return true;
}

// Buffered output of exactly the requested number of bytes.
class Corpus {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{4} << 20;

  Corpus(std::FILE* file, std::uint64_t size, std::size_t buffer_size = kBufferSize)
      : file_(file), size_(size), left_(size), flush_at_(buffer_size) {
    buffer_.reserve(flush_at_ + 64);
  }

  std::uint64_t written() const { return size_ - left_; }

  // Appends the word and the separator after it when both fit; returns
  // false once the corpus is full (the rest is padded by Finish).
  bool Put(std::string_view word, std::string_view separator) {
    if (word.size() + separator.size() > left_) return false;
    buffer_.append(word);
    buffer_.append(separator);
    left_ -= word.size() + separator.size();
    if (buffer_.size() >= flush_at_) Flush();
    return true;
  }

  // Fills what is left with line feeds and writes everything out.
  bool Finish() { return Finish(left_); }

  // Writes everything out after `padding` line feeds (no more than fit).
  bool Finish(std::uint64_t padding) {
    for (padding = std::min(padding, left_); padding != 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(padding, flush_at_));
      buffer_.append(n, '\n');
      left_ -= n;
      padding -= n;
      Flush();
    }
    Flush();
    return ok_;
  }

 private:
  void Flush() {
    if (ok_ && !buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ok_ = false;
    buffer_.clear();
  }

  std::FILE* file_;
  std::uint64_t size_;
  std::uint64_t left_;
  std::size_t flush_at_;
  std::string buffer_;
  bool ok_ = true;
};

// ---------------------------------------------------------------- words --

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

// ---------------------------------------------------------- vocabulary --

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

// The first field of every line of the word lists, each word once, in the
// order met. Lists of words and of words with a frequency after them alike.
bool ReadWordLists(const std::vector<const char*>& paths, Vocabulary& vocabulary) {
  std::unordered_set<std::string> seen;
  std::vector<char> data;
  for (const char* path : paths) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
      std::fprintf(stderr, "lexset-corpus: cannot read word list %s: %s\n", path, std::strerror(errno));
      return false;
    }
    data.clear();
    char block[1 << 16];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) != 0;)
      data.insert(data.end(), block, block + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
      std::fprintf(stderr, "lexset-corpus: cannot read word list %s\n", path);
      return false;
    }
    std::size_t i = 0;
    while (i < data.size()) {
      const std::size_t start = i;
      while (i < data.size() && !IsSeparator(static_cast<unsigned char>(data[i]))) ++i;
      std::string word(data.data() + start, i - start);
      while (i < data.size() && data[i] != '\n') ++i;  // the rest of the line
      ++i;
      if (word.empty() || word.find('\x1A') != std::string::npos) continue;
      if (seen.insert(word).second) vocabulary.Add(word);
    }
  }
  return true;
}

// Draws ranks 0..n-1 with probability proportional to 1/(rank+1) by Walker's
// alias method, in integers only so that no floating-point library can
// change the outcome, and in constant time per draw.
class ZipfSampler {
 public:
  explicit ZipfSampler(std::size_t n) : threshold_(n), alias_(n) {
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
  SortedWords() {
    for (int c = '0'; c <= '9'; ++c) alphabet_.push_back(static_cast<unsigned char>(c));
    for (int c = 'A'; c <= 'Z'; ++c) alphabet_.push_back(static_cast<unsigned char>(c));
    for (int c = 'a'; c <= 'z'; ++c) alphabet_.push_back(static_cast<unsigned char>(c));
    for (int c = 0xA1; c <= 0xFE; ++c) alphabet_.push_back(static_cast<unsigned char>(c));
    for (std::size_t i = 0; i < alphabet_.size(); ++i) slot_[alphabet_[i]] = i;
  }

  std::string_view Next(Random& random, std::uint64_t written, std::uint64_t size) {
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

 private:
  void Fill(Random& random, std::size_t length) {
    while (word_.size() < length) word_.push_back(static_cast<char>(alphabet_[random.Below(alphabet_.size())]));
  }

  std::vector<unsigned char> alphabet_;
  std::size_t slot_[256] = {};
  std::string word_;
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

  std::string_view operator()(std::uint64_t number) {
    static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_-";
    Random random(seed_ + number);
    MakeMixedWord(random, word_);
    for (std::size_t i = digits_; i-- > 0;) word_.push_back(kDigits[(number >> (6 * i)) & 63]);
    return word_;
  }

 private:
  std::uint64_t seed_;
  std::size_t digits_ = 1;
  std::string word_;
};

// ------------------------------------------------------------ profiles --

// Leading separators make `tr` leave an empty first line; the benchmark's
// comparison has to cope with that, so the mixed profiles start with some.
constexpr std::string_view kLeadingRun = "\r\n \t";

void WriteZipf(Random& random, Corpus& corpus) {
  const Vocabulary vocabulary = MakeMixedVocabulary(random, kZipfVocabulary);
  const ZipfSampler sampler(vocabulary.size());
  std::string scratch;
  if (!corpus.Put({}, kLeadingRun)) return;
  for (;;) {
    const std::string_view word = vocabulary[sampler.Draw(random)];
    if (!corpus.Put(word, MixedSeparator(random, scratch))) return;
  }
}

void WriteUnique(Random& random, Corpus& corpus) {
  std::string word, scratch;
  if (!corpus.Put({}, kLeadingRun)) return;
  do MakeUniqueWord(random, word);
  while (corpus.Put(word, MixedSeparator(random, scratch)));
}

void WriteSorted(Random& random, Corpus& corpus, std::uint64_t size) {
  SortedWords words;
  while (corpus.Put(words.Next(random, corpus.written(), size), "\r\n")) {
  }
}

// The sorted profile's lines dealt into k piece files written side by side,
// each with its share of one buffer, then copied one after the other into
// the corpus. What pads the corpus to its size ends the last piece, so the
// pieces joined are the corpus.
bool WritePieces(Random& random, Corpus& corpus, std::uint64_t size, std::size_t k, const std::string& path,
                 bool keep) {
  std::vector<std::string> paths;
  std::vector<std::FILE*> files;
  std::vector<Corpus> pieces;
  pieces.reserve(k);
  bool ok = true;
  for (std::size_t i = 0; i < k && ok; ++i) {
    paths.push_back(path + '.' + std::to_string(i + 1));
    files.push_back(std::fopen(paths.back().c_str(), "wb"));
    if (files.back() == nullptr) {
      std::fprintf(stderr, "lexset-corpus: cannot create %s: %s\n", paths.back().c_str(), std::strerror(errno));
      files.pop_back();
      ok = false;
    } else {
      pieces.emplace_back(files.back(), size, std::max<std::size_t>(Corpus::kBufferSize / k, std::size_t{64} << 10));
    }
  }
  if (ok) {
    SortedWords words;
    std::uint64_t written = 0;
    for (std::uint64_t line = 0;; ++line) {
      const std::string_view word = words.Next(random, written, size);
      if (word.size() + 2 > size - written) break;  // where the sorted profile stops too
      pieces[line % k].Put(word, "\r\n");
      written += word.size() + 2;
    }
    for (std::size_t i = 0; i < k; ++i) ok = pieces[i].Finish(i + 1 == k ? size - written : 0) && ok;
  }
  for (std::FILE* file : files) ok = std::fclose(file) == 0 && ok;
  pieces = {};  // their buffers, before the corpus's own grows
  if (!ok) std::fprintf(stderr, "lexset-corpus: cannot write the pieces %s.*\n", path.c_str());

  std::string block(std::size_t{1} << 20, '\0');
  for (std::size_t i = 0; i < paths.size() && ok; ++i) {
    std::FILE* file = std::fopen(paths[i].c_str(), "rb");
    ok = file != nullptr;
    for (std::size_t got; ok && (got = std::fread(&block[0], 1, block.size(), file)) != 0;)
      ok = corpus.Put(std::string_view(block.data(), got), {});
    if (file != nullptr) {
      const bool failed = std::ferror(file) != 0;
      ok = std::fclose(file) == 0 && !failed && ok;
    }
    if (!ok) std::fprintf(stderr, "lexset-corpus: cannot join %s into %s\n", paths[i].c_str(), path.c_str());
  }
  if (!keep)
    for (const std::string& piece : paths) std::remove(piece.c_str());
  return ok;
}

void WriteDupheavy(Random& random, Corpus& corpus) {
  const Vocabulary vocabulary = MakeMixedVocabulary(random, kDupheavyVocabulary);
  std::string scratch;
  if (!corpus.Put({}, kLeadingRun)) return;
  for (;;) {
    const std::string_view word = vocabulary[random.Below(vocabulary.size())];
    if (!corpus.Put(word, MixedSeparator(random, scratch))) return;
  }
}

// Every word of the lists once per pass, each pass in a new order, one
// word a line mostly, with Windows and Unix line ends mixed.
void WriteReal(Random& random, Corpus& corpus, const Vocabulary& vocabulary) {
  std::vector<std::uint32_t> order(vocabulary.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  for (;;) {
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[random.Below(i)]);
    for (const std::uint32_t w : order) {
      const auto p = random.Below(100);
      const std::string_view separator = p < 60 ? "\r\n" : p < 85 ? "\n" : p < 95 ? " " : "\t";
      if (!corpus.Put(vocabulary[w], separator)) return;
    }
  }
}

void WriteSpill(Random& random, Corpus& corpus, std::uint64_t size) {
  const Vocabulary vocabulary = MakeMixedVocabulary(random, kZipfVocabulary);
  const ZipfSampler sampler(vocabulary.size());
  const std::uint64_t tail_size = std::max<std::uint64_t>(1, size / kSpillBytesPerTailWord);
  TailWords tail(tail_size, random.Next());
  std::string scratch;
  if (!corpus.Put({}, kLeadingRun)) return;
  for (;;) {
    std::string_view word;
    if (random.Chance(kSpillCommonPerMille)) {
      word = vocabulary[sampler.Draw(random)];
    } else {
      word = tail(random.Below(tail_size));
    }
    if (!corpus.Put(word, MixedSeparator(random, scratch))) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> positional, word_lists;
  std::uint64_t seed = 1, pieces = 0;
  bool split = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "--seed" || arg == "--words" || arg == "--pieces") && i + 1 < argc) {
      if (arg == "--words") {
        word_lists.push_back(argv[++i]);
      } else if (!ParseNumber(argv[++i], arg == "--seed" ? seed : pieces, false) ||
                 (arg == "--pieces" && (pieces == 0 || pieces > 100000))) {
        std::fprintf(stderr, "lexset-corpus: bad %s %s\n%s", arg.data() + 2, argv[i], kUsage);
        return 2;
      }
    } else if (arg == "--split") {
      split = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "lexset-corpus: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    } else {
      positional.push_back(argv[i]);
    }
  }
  std::uint64_t size = 0;
  if (positional.size() != 3) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  const std::string_view profile = positional[0];
  if (!ParseNumber(positional[1], size, true) || size == 0) {
    std::fprintf(stderr, "lexset-corpus: bad size %s\n%s", positional[1], kUsage);
    return 2;
  }
  if (profile != "zipf" && profile != "unique" && profile != "sorted" && profile != "dupheavy" && profile != "real" &&
      profile != "spill" && profile != "appended" && profile != "pieces") {
    std::fprintf(stderr, "lexset-corpus: unknown profile %s\n%s", positional[0], kUsage);
    return 2;
  }
  if ((profile == "real") != !word_lists.empty()) {
    std::fprintf(stderr, "lexset-corpus: --words goes with the real profile, and only with it\n%s", kUsage);
    return 2;
  }
  if (profile != "pieces" && (pieces != 0 || split)) {
    std::fprintf(stderr, "lexset-corpus: --pieces and --split go with the pieces profile, and only with it\n%s",
                 kUsage);
    return 2;
  }

  Vocabulary real_words;
  if (profile == "real") {
    if (!ReadWordLists(word_lists, real_words)) return 2;
    if (real_words.size() == 0) {
      std::fprintf(stderr, "lexset-corpus: the word lists hold no words\n");
      return 2;
    }
  }

  std::FILE* file = std::fopen(positional[2], "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "lexset-corpus: cannot create %s: %s\n", positional[2], std::strerror(errno));
    return 2;
  }
  Random random(seed);
  Corpus corpus(file, size);
  if (profile == "zipf") {
    WriteZipf(random, corpus);
  } else if (profile == "unique") {
    WriteUnique(random, corpus);
  } else if (profile == "sorted" || profile == "appended") {
    WriteSorted(random, corpus, size);
  } else if (profile == "pieces") {
    if (!WritePieces(random, corpus, size, pieces == 0 ? 2 : static_cast<std::size_t>(pieces), positional[2], split))
      return 2;
  } else if (profile == "dupheavy") {
    WriteDupheavy(random, corpus);
  } else if (profile == "spill") {
    WriteSpill(random, corpus, size);
  } else {
    WriteReal(random, corpus, real_words);
  }
  bool written = corpus.Finish();
  if (written && profile == "appended") {
    Random new_words(seed);
    Corpus appended(file, kAppendedBytes);
    WriteUnique(new_words, appended);
    written = appended.Finish();
  }
  if (std::fclose(file) != 0 || !written) {
    std::fprintf(stderr, "lexset-corpus: cannot write %s: %s\n", positional[2], std::strerror(errno));
    return 2;
  }
  return 0;
}
