//===- RunReader.cpp - Reading a run back, word by word ------------------===//
#include "core/RunReader.h"

#include <cstring>

namespace lexset {

RunReader::RunReader(ByteSource& source, std::size_t buffer_size)
    : source_(source), buffer_(buffer_size < 64 ? 64 : buffer_size) {}

bool RunReader::Next() {
  std::size_t searched = begin_;
  for (;;) {
    if (const void* line_end = std::memchr(buffer_.data() + searched, '\n', end_ - searched)) {
      const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(line_end) - buffer_.data());
      word_ = std::string_view(buffer_.data() + begin_, stop - begin_ - 1);
      begin_ = stop + 1;
      return true;
    }
    if (at_end_ || failed_) return false;
    // Keep the unfinished word, at the front, and read on; a word longer
    // than the buffer makes it grow.
    const std::size_t kept = end_ - begin_;
    if (begin_ != 0) std::memmove(buffer_.data(), buffer_.data() + begin_, kept);
    begin_ = 0;
    end_ = kept;
    searched = kept;
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
