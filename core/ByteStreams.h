//===- ByteStreams.h - Where the job reads from and writes to -----------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lexset {

class RunFile;

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

  // Whether what has been written can be taken back (a file can, a stream
  // cannot): a list in order goes straight to such a result.
  virtual bool CanTakeBack() const { return false; }
  // Hands what has been written over, to be read from its start, and goes
  // on empty. Null on failure, or where it cannot.
  virtual std::unique_ptr<RunFile> TakeWritten();
};

// A file holding words to read back: written once, then read.
class RunFile : public ByteSource, public ByteSink {
 public:
  // Ends the writing; reading starts from the beginning.
  virtual bool Rewind() = 0;
  // Why the last call failed.
  virtual const std::string& error() const = 0;

  // Whether, once written, the file can be read at any offset by several
  // threads at once (ReadAt), apart from Read: a file on disk can.
  virtual bool CanReadAt() const { return false; }
  // Reads at most `capacity` bytes from `offset`. Returns how many, 0 at the
  // end, or -1 after a read error, whose reason goes to *error: error() is
  // left alone, as other threads may be reading too.
  virtual std::ptrdiff_t ReadAt(std::uint64_t offset, char* buffer, std::size_t capacity, std::string* error);
  // The bytes there are to read, or -1 on failure (error() says why).
  virtual std::int64_t ReadableSize() { return -1; }
};

inline std::unique_ptr<RunFile> ByteSink::TakeWritten() { return nullptr; }
inline std::ptrdiff_t RunFile::ReadAt(std::uint64_t, char*, std::size_t, std::string*) { return -1; }

}  // namespace lexset
