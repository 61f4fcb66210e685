//===- ByteStreams.h - Where the job reads from and writes to -----------===//
#pragma once

#include <cstddef>

namespace lexset {

// A sequential source of bytes: a file, or memory in tests.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads at most `capacity` bytes. Returns how many were read, 0 at the end
  // of the input, or -1 after a read error.
  virtual std::ptrdiff_t Read(char* buffer, std::size_t capacity) = 0;
};

// A sequential destination of bytes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `size` bytes or returns false.
  virtual bool Write(const char* data, std::size_t size) = 0;
};

}  // namespace lexset
