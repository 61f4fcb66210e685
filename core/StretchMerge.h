//===- StretchMerge.h - A stretch merged with the result as it comes -----===//
//
// A list of two tidied pieces, one after the other, is two stretches. The
// first went to the result; the second, rather than go to a run file to be
// read back and merged with the first at the end, is merged with it as it
// comes: the result's lines are taken back and read, and go out again
// between the new words. Only two inputs meet, so a word costs a compare,
// not a game of a tree.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>

#include "core/ByteStreams.h"
#include "core/LineWriter.h"
#include "core/RunReader.h"
#include "core/WordCompare.h"

namespace lexset {

class StretchMerge {
 public:
  // Merges the words of `earlier`, in order, with those put, into `out`.
  StretchMerge(std::unique_ptr<RunFile> earlier, std::size_t buffer_size, LineWriter& out)
      : earlier_(std::move(earlier)), reader_(*earlier_, buffer_size), out_(out) {}

  // Reads the first earlier word. False on a read error.
  bool Start() { return Advance(); }

  // Writes the earlier words up to `word`, then `word`, which is greater
  // than every word put before. False if reading or writing failed
  // (read_failed() tells which).
  bool Put(std::string_view word) {
    while (has_word_) {
      const std::string_view earlier = reader_.word();
      const int order = CompareWords(earlier, word);
      if (order > 0) break;
      if (order < 0 && !out_.PutLine(earlier)) return false;
      if (!Advance()) return false;
      if (order == 0) break;
    }
    return out_.PutLine(word);
  }

  // Writes the earlier words that are left, in large pieces.
  bool Finish() {
    if (!has_word_) return true;
    has_word_ = false;
    if (!out_.PutLine(reader_.word())) return false;
    std::string_view last;
    const Copied copied = reader_.CopyBelow(nullptr, out_, &last);
    return copied == Copied::kEnd;
  }

  bool read_failed() const { return reader_.failed(); }
  const std::string& read_error() const { return earlier_->error(); }

 private:
  bool Advance() {
    has_word_ = reader_.Next();
    return has_word_ || !reader_.failed();
  }

  std::unique_ptr<RunFile> earlier_;
  RunReader reader_;
  LineWriter& out_;
  bool has_word_ = false;
};

}  // namespace lexset
