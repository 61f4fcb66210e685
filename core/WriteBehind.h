//===- WriteBehind.h - A new file sent to disk while it is still written --===//
//
// A result is flushed to disk before it takes the old one's place. Left to
// itself, the system keeps all of it in memory until then, and the flush
// waits for the disk to take every byte while nothing else is done. Where
// the system can be asked to start writing part of a file (POSIX: Linux's
// sync_file_range), the file is sent a step at a time as it grows, and the
// oldest steps are waited for so that only a few steps are ever unwritten:
// the disk works while the words are still being sorted, and the flush at
// the end waits for the last steps alone. This keeps the count; the
// platform asks the system.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>

namespace lexset {

class WriteBehind {
 public:
  // Large enough that asking costs nothing next to the writing, small
  // enough that the disk starts early.
  static constexpr std::uint64_t kStep = std::uint64_t{8} << 20;
  // Written but not known to be on disk, at most, between writes.
  static constexpr std::uint64_t kMostUnwritten = 4 * kStep;

  struct Range {
    std::uint64_t offset;
    std::uint64_t size;
  };

  // For a new, empty file.
  void Restart() { *this = WriteBehind(); }
  // The system cannot be asked for this file: no more ranges.
  void Stop() { stopped_ = true; }
  void Wrote(std::size_t size) { written_ += size; }

  // A whole step written and not yet sent, if there is one, to send now.
  bool NextToSend(Range* range) {
    if (stopped_ || written_ - sent_ < kStep) return false;
    *range = Range{sent_, kStep};
    sent_ += kStep;
    return true;
  }
  // The oldest step sent, to wait for while too much may be unwritten.
  // Asked after every step due has been sent.
  bool NextToWaitFor(Range* range) {
    if (stopped_ || written_ - done_ <= kMostUnwritten || sent_ - done_ < kStep) return false;
    *range = Range{done_, kStep};
    done_ += kStep;
    return true;
  }

 private:
  std::uint64_t written_ = 0;  // bytes from the start of the file
  std::uint64_t sent_ = 0;     // the first of them not yet sent to disk
  std::uint64_t done_ = 0;     // the first not known to be on disk
  bool stopped_ = false;
};

}  // namespace lexset
