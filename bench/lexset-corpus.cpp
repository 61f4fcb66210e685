//===- lexset-corpus.cpp - Word lists to benchmark the job on ------------===//
//
// lexset-corpus PROFILE SIZE OUT_FILE [--seed N] [--words FILE]...
//                [--pieces K] [--split] [--every N] [--lists K]
//                [--stretch L] [--shuffled]
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
//   stretches many long stretches, each in ascending order over the whole
//             range, one after the other: the sorted profile's lines dealt
//             to S stretches by a hash of the line's number, S chosen so
//             that each holds about L words (--stretch L, 120000 by
//             default). Made like the pieces (files OUT_FILE.1 ...
//             OUT_FILE.S on the way, 16 KiB of buffer each when there are
//             more than 64, removed after), after a first pass of the
//             generator that counts the lines
//   outliers  a sorted list with a word out of place every N words
//             (--every N, 4097 by default): the sorted profile, every N-th
//             word replaced by a random one of the same bytes and lengths
//             from anywhere in the range; constant memory
//   dealt     K sorted lists (--lists K, 200 by default), each over the
//             whole range, dealt word by word into one: word i comes from
//             list i mod K, so the list is nearly random close up but made
//             of K ordered sequences; constant memory (2 KiB a list)
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
// --shuffled, with any profile (but not --split), writes the same words in
// a random order: the profile is written, read back whole and rewritten,
// each word as many times and the separators where they were, so the file
// has the same size and gives the same tidied list. Memory: the file and 4
// bytes a word (8 from 4 GiB on).
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

#include "bench/Corpus.h"
#include "bench/CorpusWords.h"
#include "bench/OrderedProfiles.h"
#include "bench/Random.h"
#include "bench/ShuffledCorpus.h"

namespace {

using namespace lexset::bench;

constexpr char kUsage[] =
    "usage: lexset-corpus PROFILE SIZE OUT_FILE [--seed N] [--words FILE]...\n"
    "                     [--pieces K] [--split] [--every N] [--lists K]\n"
    "                     [--stretch L] [--shuffled]\n"
    "  PROFILE  zipf, unique, sorted, dupheavy, real (needs --words), spill,\n"
    "           appended (sorted, then 100 KiB of unique), pieces (sorted,\n"
    "           dealt into K pieces: --pieces K, 2 by default; --split keeps\n"
    "           them as OUT_FILE.1 ... OUT_FILE.K beside OUT_FILE),\n"
    "           stretches (ascending stretches of about L words over the\n"
    "           whole range: --stretch L, 120000 by default), outliers\n"
    "           (sorted, every N-th word from anywhere: --every N, 4097 by\n"
    "           default) or dealt (K sorted lists dealt word by word into\n"
    "           one: --lists K, 200 by default)\n"
    "  SIZE     bytes, or with a K, M or G suffix (binary multiples)\n"
    "  --shuffled  the same words in a random order, with any profile\n";

constexpr std::size_t kZipfVocabulary = 1000000;
constexpr std::size_t kDupheavyVocabulary = 4000;
// The spill profile's share of common words, per mille, and how many bytes
// of the corpus there are for each word of its long tail.
constexpr unsigned kSpillCommonPerMille = 250;
constexpr std::uint64_t kSpillBytesPerTailWord = 11;
// The new words of the appended profile.
constexpr std::uint64_t kAppendedBytes = std::uint64_t{100} << 10;

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

// A numeric option that goes with one profile only: its value, whether it
// was given, and the least and most it may be.
struct ProfileOption {
  const char* name;
  const char* profile;
  std::uint64_t value;
  std::uint64_t least;
  std::uint64_t most;
  bool given = false;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> positional, word_lists;
  std::uint64_t seed = 1;
  ProfileOption options[] = {{"--pieces", "pieces", 2, 1, 100000},
                             {"--every", "outliers", 4097, 2, UINT64_MAX},
                             {"--lists", "dealt", 200, 1, 100000},
                             {"--stretch", "stretches", 120000, 1, UINT64_MAX}};
  ProfileOption& pieces = options[0];
  ProfileOption& every = options[1];
  ProfileOption& lists = options[2];
  ProfileOption& stretch = options[3];
  bool split = false, shuffled = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    ProfileOption* option = nullptr;
    for (ProfileOption& o : options)
      if (arg == o.name) option = &o;
    if ((arg == "--seed" || arg == "--words" || option != nullptr) && i + 1 < argc) {
      if (arg == "--words") {
        word_lists.push_back(argv[++i]);
      } else if (!ParseNumber(argv[++i], option == nullptr ? seed : option->value, false) ||
                 (option != nullptr && (option->value < option->least || option->value > option->most))) {
        std::fprintf(stderr, "lexset-corpus: bad %s %s\n%s", arg.data() + 2, argv[i], kUsage);
        return 2;
      }
      if (option != nullptr) option->given = true;
    } else if (arg == "--split") {
      split = true;
    } else if (arg == "--shuffled") {
      shuffled = true;
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
  static constexpr std::string_view kProfiles[] = {"zipf", "unique",  "sorted",  "dupheavy",  "real",
                                                   "spill", "appended", "pieces", "stretches", "outliers", "dealt"};
  if (std::find(std::begin(kProfiles), std::end(kProfiles), profile) == std::end(kProfiles)) {
    std::fprintf(stderr, "lexset-corpus: unknown profile %s\n%s", positional[0], kUsage);
    return 2;
  }
  if ((profile == "real") != !word_lists.empty()) {
    std::fprintf(stderr, "lexset-corpus: --words goes with the real profile, and only with it\n%s", kUsage);
    return 2;
  }
  for (const ProfileOption& option : options) {
    if (option.given && profile != option.profile) {
      std::fprintf(stderr, "lexset-corpus: %s goes with the %s profile, and only with it\n%s", option.name,
                   option.profile, kUsage);
      return 2;
    }
  }
  if (split && (profile != "pieces" || shuffled)) {
    std::fprintf(stderr, "lexset-corpus: --split goes with the pieces profile, and not with --shuffled\n%s", kUsage);
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
  bool made = true;
  if (profile == "zipf") {
    WriteZipf(random, corpus);
  } else if (profile == "unique") {
    WriteUnique(random, corpus);
  } else if (profile == "sorted" || profile == "appended") {
    WriteSorted(random, corpus, size);
  } else if (profile == "pieces") {
    made = WritePieces(random, corpus, size, static_cast<std::size_t>(pieces.value), positional[2], split);
  } else if (profile == "stretches") {
    made = WriteStretches(random, corpus, size, stretch.value, positional[2]);
  } else if (profile == "outliers") {
    WriteOutliers(random, corpus, size, every.value);
  } else if (profile == "dealt") {
    WriteDealt(random, corpus, size, static_cast<std::size_t>(lists.value));
  } else if (profile == "dupheavy") {
    WriteDupheavy(random, corpus);
  } else if (profile == "spill") {
    WriteSpill(random, corpus, size);
  } else {
    WriteReal(random, corpus, real_words);
  }
  if (!made) {
    std::fclose(file);
    return 2;
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
  return shuffled && !ShuffleCorpus(positional[2], seed) ? 2 : 0;
}
