//===- RunReader.cpp - Reading a run back, word by word ------------------===//
#include "core/RunReader.h"

#include <cstdint>
#include <cstring>

#include "core/WordMerge.h"

namespace lexset {
namespace {

// The first '\n' in [p, end), or null. Lines are short: eight bytes are
// looked at a time, without the cost of a call.
const char* FindLineEnd(const char* p, const char* end) {
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

}  // namespace

RunReader::RunReader(ByteSource& source, std::size_t buffer_size)
    : source_(source), buffer_(buffer_size < 64 ? 64 : buffer_size) {}

bool RunReader::Next() {
  std::size_t searched = begin_;
  for (;;) {
    if (const char* line_end = FindLineEnd(buffer_.data() + searched, buffer_.data() + end_)) {
      const std::size_t stop = static_cast<std::size_t>(line_end - buffer_.data());
      const std::string_view next(buffer_.data() + begin_, stop - begin_ - 1);
      shared_ = has_word_ ? SharedBytes(word(), next) : 0;
      word_begin_ = begin_;
      word_size_ = next.size();
      has_word_ = true;
      begin_ = stop + 1;
      return true;
    }
    if (at_end_ || failed_) return false;
    // Keep the current word and the unfinished one, at the front, and read
    // on; a word longer than the buffer makes it grow.
    const std::size_t keep_from = has_word_ ? word_begin_ : begin_;
    const std::size_t kept = end_ - keep_from;
    if (keep_from != 0) std::memmove(buffer_.data(), buffer_.data() + keep_from, kept);
    word_begin_ -= has_word_ ? keep_from : 0;
    begin_ -= keep_from;
    end_ = kept;
    searched = end_;
    if (end_ == buffer_.size()) buffer_.Resize(buffer_.size() * 2, end_);
    const std::ptrdiff_t got = source_.Read(buffer_.data() + end_, buffer_.size() - end_);
    if (got < 0) {
      failed_ = true;
      return false;
    }
    if (got == 0) at_end_ = true;
    end_ += static_cast<std::size_t>(got);
  }
}

}  // namespace lexset
