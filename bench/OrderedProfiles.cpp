//===- OrderedProfiles.cpp - Lists in order, or nearly, for lexset-corpus -===//
#include "bench/OrderedProfiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "bench/CorpusWords.h"

namespace lexset::bench {

namespace {

// Which piece a line of the sorted profile goes to.
using PieceOf = std::size_t (*)(std::uint64_t line, std::size_t k);

std::size_t InTurn(std::uint64_t line, std::size_t k) { return static_cast<std::size_t>(line % k); }

// A fixed mix of the line's number (splitmix64's finaliser), so that the
// stretches take the lines in no pattern, and the same everywhere.
std::size_t Hashed(std::uint64_t line, std::size_t k) {
  std::uint64_t z = line + 0x9e3779b97f4a7c15ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return static_cast<std::size_t>((z ^ (z >> 31)) % k);
}

// The count of lines in the sorted profile of `size` bytes drawn from a
// copy of the generator: where DealSorted stops. One more pass, nothing kept.
std::uint64_t SortedLines(Random random, std::uint64_t size) {
  SortedWords words;
  std::uint64_t written = 0, lines = 0;
  for (;; ++lines) {
    const std::string_view word = words.Next(random, written, size);
    if (word.size() + 2 > size - written) return lines;
    written += word.size() + 2;
  }
}

// The sorted profile's lines dealt into k piece files written side by side,
// each with its share of one buffer, then copied one after the other into
// the corpus. What pads the corpus to its size ends the last piece, so the
// pieces joined are the corpus. Many pieces get 16 KiB of buffer each.
bool DealSorted(Random& random, Corpus& corpus, std::uint64_t size, std::size_t k, PieceOf piece_of,
                const std::string& path, bool keep) {
  std::vector<std::string> paths;
  std::vector<std::FILE*> files;
  std::vector<Corpus> pieces;
  pieces.reserve(k);
  const std::size_t buffer = std::max<std::size_t>(
      Corpus::kBufferSize / k, k <= 64 ? std::size_t{64} << 10 : std::size_t{16} << 10);
  bool ok = true;
  for (std::size_t i = 0; i < k && ok; ++i) {
    paths.push_back(path + '.' + std::to_string(i + 1));
    files.push_back(std::fopen(paths.back().c_str(), "wb"));
    if (files.back() == nullptr) {
      std::fprintf(stderr, "lexset-corpus: cannot create %s: %s\n", paths.back().c_str(), std::strerror(errno));
      files.pop_back();
      paths.pop_back();
      ok = false;
    } else {
      pieces.emplace_back(files.back(), size, buffer);
    }
  }
  if (ok) {
    SortedWords words;
    std::uint64_t written = 0;
    for (std::uint64_t line = 0;; ++line) {
      const std::string_view word = words.Next(random, written, size);
      if (word.size() + 2 > size - written) break;  // where the sorted profile stops too
      pieces[piece_of(line, k)].Put(word, "\r\n");
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

}  // namespace

void WriteSorted(Random& random, Corpus& corpus, std::uint64_t size) {
  SortedWords words;
  while (corpus.Put(words.Next(random, corpus.written(), size), "\r\n")) {
  }
}

bool WritePieces(Random& random, Corpus& corpus, std::uint64_t size, std::size_t k, const std::string& path,
                 bool keep) {
  return DealSorted(random, corpus, size, k, InTurn, path, keep);
}

bool WriteStretches(Random& random, Corpus& corpus, std::uint64_t size, std::uint64_t stretch,
                    const std::string& path) {
  const std::uint64_t lines = SortedLines(random, size);
  const std::uint64_t count = std::max<std::uint64_t>(1, (lines + stretch / 2) / stretch);
  // Each stretch is a file on the way (ulimit -n bounds their count).
  return DealSorted(random, corpus, size, static_cast<std::size_t>(count), Hashed, path, false);
}

void WriteOutliers(Random& random, Corpus& corpus, std::uint64_t size, std::uint64_t every) {
  SortedWords words;
  Random anywhere(random.Next());
  for (std::uint64_t i = 1;; ++i) {
    const std::string_view word =
        i % every == 0 ? words.Anywhere(anywhere) : words.Next(random, corpus.written(), size);
    if (!corpus.Put(word, "\r\n")) return;
  }
}

void WriteDealt(Random& random, Corpus& corpus, std::uint64_t size, std::size_t k) {
  struct List {
    explicit List(std::uint64_t seed) : random(seed) {}
    SortedWords words;
    Random random;
    std::uint64_t written = 0;
  };
  std::vector<List> lists;
  lists.reserve(k);
  for (std::size_t i = 0; i < k; ++i) lists.emplace_back(random.Next());
  // Each list's share of the corpus: the lists advance together, so each
  // spans the whole range by the time the corpus is full.
  const std::uint64_t share = std::max<std::uint64_t>(1, size / k);
  for (std::uint64_t i = 0;; ++i) {
    List& list = lists[i % k];
    const std::string_view word = list.words.Next(list.random, std::min(list.written, share - 1), share);
    if (!corpus.Put(word, "\r\n")) return;
    list.written += word.size() + 2;
  }
}

}  // namespace lexset::bench
