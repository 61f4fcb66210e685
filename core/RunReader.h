//===- RunReader.h - Reading a run back, word by word --------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "core/ByteBuffer.h"
#include "core/ByteStreams.h"
#include "core/LineWriter.h"
#include "core/RunStorage.h"
#include "core/WordMerge.h"

namespace lexset {

// The first '\n' in [p, end), or null. Lines are short: eight bytes are
// looked at a time, without the cost of a call.
inline const char* FindLineEnd(const char* p, const char* end) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  for (; end - p >= 8; p += 8) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p, 8);
    bytes ^= kOnes * '\n';
    // The lowest byte flagged is the first zero byte, hence the first '\n'.
    const std::uint64_t zero = (bytes - kOnes) & ~bytes & kHigh;
    if (zero != 0) return p + __builtin_ctzll(zero) / 8;
  }
  for (; p < end; ++p) {
    if (*p == '\n') return p;
  }
  return nullptr;
#else
  return static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
#endif
}

// Reads a run file: words each followed by CR LF, as in the result (words
// never hold either), in ascending order.
class RunReader {
 public:
  RunReader(ByteSource& source, std::size_t buffer_size);
  // The same with a buffer used before, of 64 bytes at least, which
  // TakeBuffer gives back.
  RunReader(ByteSource& source, ByteBuffer buffer) : source_(source), buffer_(std::move(buffer)) {}
  ByteBuffer TakeBuffer() { return std::move(buffer_); }

  // Moves to the next word. Returns false at the end, or after a read error
  // (then failed() is true).
  bool Next() {
    const char* data = buffer_.data();
    if (const char* line_end = FindLineEnd(data + begin_, data + end_)) {
      Take(line_end);
      return true;
    }
    return NextAfterRefill();
  }
  // The current word, valid until the next call to Next.
  std::string_view word() const { return {buffer_.data() + word_begin_, word_size_}; }
  // Bytes the current word shares with the one before it (0 for the first):
  // the previous word is kept in the buffer until the next one is whole.
  std::size_t shared() const { return shared_; }
  bool failed() const { return failed_; }

  // Writes the lines of the words after the current one that are less than
  // *bound (all of them, for a null bound) to `out` as they stand, in large
  // pieces, and moves to the first word that is not (kStopped). *last is
  // then the last word written, or the current one if none was, valid until
  // the next call. A read error gives kInputFailed.
  Copied CopyBelow(const std::string_view* bound, LineWriter& out, std::string_view* last);

 private:
  // Makes the line that ends at `line_end` the current word.
  void Take(const char* line_end) {
    const char* data = buffer_.data();
    const std::string_view next(data + begin_, static_cast<std::size_t>(line_end - 1 - (data + begin_)));
    shared_ = has_word_ ? SharedBytes(word(), next) : 0;
    word_begin_ = begin_;
    word_size_ = next.size();
    has_word_ = true;
    begin_ = static_cast<std::size_t>(line_end + 1 - data);
  }
  bool NextAfterRefill();
  // Reads on, keeping the current word and what follows it. Returns false
  // at the end or after a read error.
  bool Refill();

  ByteSource& source_;
  ByteBuffer buffer_;
  std::size_t word_begin_ = 0;  // the current word
  std::size_t word_size_ = 0;
  bool has_word_ = false;
  std::size_t shared_ = 0;
  std::size_t begin_ = 0;  // first byte not yet handed out
  std::size_t end_ = 0;    // end of the bytes read
  bool at_end_ = false;
  bool failed_ = false;
};

// A run file read back as one input of a merge.
class RunInput final : public MergeInput {
 public:
  RunInput(ByteSource& file, std::size_t buffer_size) : reader_(file, buffer_size) {}
  RunInput(ByteSource& file, ByteBuffer buffer) : reader_(file, std::move(buffer)) {}
  ByteBuffer TakeBuffer() { return reader_.TakeBuffer(); }
  bool Next(MergeWord* next) override {
    if (!reader_.Next()) return false;
    next->word = reader_.word();
    next->shared = reader_.shared();
    return true;
  }
  bool failed() const override { return reader_.failed(); }
  Copied CopyBelow(const std::string_view* bound, LineWriter& out, MergeWord* next, std::string_view* last) override;

 private:
  RunReader reader_;
};

}  // namespace lexset
