//===- LineWriter.h - Buffered output of result lines --------------------===//
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/ByteRules.h"
#include "core/ByteStreams.h"

namespace lexset {

// Collects lines in one large buffer and hands it to the sink when full.
class LineWriter {
 public:
  // Lines end with CR LF, as in the result, unless `line_end` says otherwise.
  LineWriter(ByteSink& sink, std::size_t buffer_size, std::string_view line_end = kLineEnd)
      : sink_(sink), buffer_(buffer_size), line_end_(line_end) {}

  // Appends `word` and a line end. Returns false once the sink has failed.
  bool PutLine(std::string_view word) {
    const std::size_t size = word.size() + line_end_.size();
    if (buffer_.size() - used_ < size) {
      if (!Flush()) return false;
      if (size > buffer_.size()) {
        return sink_.Write(word.data(), word.size()) && sink_.Write(line_end_.data(), line_end_.size());
      }
    }
    char* out = buffer_.data() + used_;
    std::memcpy(out, word.data(), word.size());
    std::memcpy(out + word.size(), line_end_.data(), line_end_.size());
    used_ += size;
    return true;
  }

  // Hands the buffered bytes to the sink.
  bool Flush() {
    if (used_ == 0) return true;
    const std::size_t size = used_;
    used_ = 0;
    return sink_.Write(buffer_.data(), size);
  }

 private:
  ByteSink& sink_;
  std::vector<char> buffer_;
  std::string_view line_end_;
  std::size_t used_ = 0;
};

}  // namespace lexset
