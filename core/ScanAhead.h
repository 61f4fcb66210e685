//===- ScanAhead.h - Reading and scanning a source on a thread of its own -===//
//
// With a thread to spare, a source is read, decoded and split into words
// on a helper thread while the job's thread stores the words it found
// before. The helper copies each block's words into one of a few batches,
// which go to the job's thread in order and come back to be filled again:
// a few MiB at most, whatever the source. The job's thread alone hears of
// the words, and of the bytes read, in the order a single thread would.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "core/ByteStreams.h"

namespace lexset {

class ScanAhead {
 public:
  // Called on the job's thread with the next words, at most 16 at a time;
  // returns false to stop the scan.
  using OnWords = std::function<bool(const std::string_view* words, std::size_t count)>;
  // Called on the job's thread with the bytes read since it was last told.
  using OnRead = std::function<void(std::uint64_t bytes)>;
  // Called on the scanning thread: how many bytes were read since it was
  // last asked.
  using TakeRead = std::function<std::uint64_t()>;

  explicit ScanAhead(std::size_t read_block_size) : read_block_size_(read_block_size) {}

  // Scans `source` to its end, as WordScanner::ScanAll does. Returns false
  // after a read error, true at the end or when on_words stopped it. What
  // on_words or the scanning thread throws comes out here, once the
  // scanning thread has ended.
  bool ScanAll(ByteSource& source, const TakeRead& take_read, const OnWords& on_words, const OnRead& on_read);

 private:
  std::size_t read_block_size_;
};

}  // namespace lexset
