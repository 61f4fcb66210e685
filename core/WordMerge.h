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

// Bytes `a` and `b` share from the start, knowing they share `known`.
std::size_t SharedBytesFrom(std::string_view a, std::string_view b, std::size_t known);
inline std::size_t SharedBytes(std::string_view a, std::string_view b, std::size_t known = 0) {
  // Most words differ within their first eight bytes.
  if (known == 0 && a.size() >= 8 && b.size() >= 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a.data(), 8);
    std::memcpy(&y, b.data(), 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (x != y) return static_cast<std::size_t>(__builtin_ctzll(x ^ y)) / 8;
#endif
  }
  return SharedBytesFrom(a, b, known);
}

enum class MergeResult { kDone, kInputFailed, kOutputFailed };

// Merges `inputs` into `out`, each word once. Adds the bytes it compares
// between words of different inputs to *compared. On kInputFailed, the
// failed input is the one whose failed() is true.
MergeResult MergeWords(const std::vector<MergeInput*>& inputs, LineWriter& out, std::uint64_t* compared);

}  // namespace lexset
