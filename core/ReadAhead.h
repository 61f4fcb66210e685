//===- ReadAhead.h - A source read a block ahead on a helper thread ------===//
//
// The result taken back is read again whole by the last merge, which mostly
// copies its lines: with a helper, the next block is read while this one is
// copied and written.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "core/ByteBuffer.h"
#include "core/ByteStreams.h"
#include "core/Workers.h"

namespace lexset {

class ReadAhead final : public ByteSource {
 public:
  ReadAhead(ByteSource& source, Workers& workers, std::size_t block)
      : source_(source), current_(block), next_(block), group_(&workers) {
    ReadNext();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
    if (at_ == size_) {
      if (ended_) return failed_ ? -1 : 0;
      group_.Wait();
      std::swap(current_, next_);
      at_ = 0;
      size_ = 0;
      if (got_ <= 0) {
        ended_ = true;
        failed_ = got_ < 0;
        return got_ < 0 ? -1 : 0;
      }
      size_ = static_cast<std::size_t>(got_);
      ReadNext();
    }
    const std::size_t n = std::min(capacity, size_ - at_);
    std::memcpy(buffer, current_.data() + at_, n);
    at_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  void ReadNext() {
    group_.Run([this] { got_ = source_.Read(next_.data(), next_.size()); });
  }

  ByteSource& source_;
  ByteBuffer current_;
  ByteBuffer next_;
  std::size_t at_ = 0;
  std::size_t size_ = 0;
  std::ptrdiff_t got_ = 0;  // by the read under way, once it has ended
  bool ended_ = false;
  bool failed_ = false;
  // Last, so that it waits for the read under way before the buffers go.
  TaskGroup group_;
};

}  // namespace lexset
