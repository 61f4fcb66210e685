//===- WordMerge.h - Merging sorted lists of words, repeats dropped -------===//
//
// A tournament (loser) tree over the inputs: each inner node keeps the input
// whose word lost there, and every waiting word keeps how many bytes it
// shares with the word that beat it. When the winner's input moves on, its
// next word shares a known number of bytes with the word just written (the
// input tells it), and each game on the way up is decided by comparing
// those counts; only where they are equal are bytes compared, from there on.
// So a byte of a word is compared again only when the word it is compared
// with also goes on there: long words alike in many inputs are not compared
// whole at every step, and the merge costs little more than reading the
// words. Where one input wins many words in a row, they go out without a
// game until the next word of another input.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/LineWriter.h"
#include "core/WordCompare.h"

namespace lexset {

// A word of a merge's input, and the bytes it shares with the one before it
// in that input (0 for the first).
struct MergeWord {
  std::string_view word;
  std::size_t shared = 0;
};

// What became of a run of words copied straight through (MergeInput::
// CopyBelow).
enum class Copied { kCannot, kStopped, kEnd, kInputFailed, kOutputFailed };

// One sorted input of a merge, without repeats.
class MergeInput {
 public:
  virtual ~MergeInput() = default;
  // Moves to the next word, which stays valid until the next call; false at
  // the end or on an error.
  virtual bool Next(MergeWord* next) = 0;
  virtual bool failed() const { return false; }
  // Where one input wins many words in a row: writes the words after the
  // current one that are less than *bound (all of them, for a null bound)
  // to `out` as they are, then moves to the first word that is not
  // (kStopped) or to the end (kEnd). *last is then the last word written,
  // valid as `next` is. An input may be unable to (kCannot: nothing done).
  virtual Copied CopyBelow(const std::string_view* bound, LineWriter& out, MergeWord* next, std::string_view* last) {
    (void)bound, (void)out, (void)next, (void)last;
    return Copied::kCannot;
  }
};

// Bytes `a` and `b` share from the start, knowing they share `known`: eight
// bytes at a time, the last few read without going past either word.
inline std::size_t SharedBytes(std::string_view a, std::string_view b, std::size_t known = 0) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = known; i < n; i += 8) {
    const std::uint64_t x = LeadingBytes(a.data() + i, n - i);
    const std::uint64_t y = LeadingBytes(b.data() + i, n - i);
    if (x != y) return i + static_cast<std::size_t>(__builtin_clzll(x ^ y)) / 8;
  }
  return n;
}

enum class MergeResult { kDone, kInputFailed, kOutputFailed };

// Merges `inputs` into `out`, each word once. Adds the bytes it compares
// between words of different inputs to *compared. On kInputFailed, the
// failed input is the one whose failed() is true.
MergeResult MergeWords(const std::vector<MergeInput*>& inputs, LineWriter& out, std::uint64_t* compared);

}  // namespace lexset
