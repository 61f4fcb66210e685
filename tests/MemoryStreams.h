//===- MemoryStreams.h - Sources, sinks and run files in memory ----------===//
//
// For the tests and the fuzzers: the job on memory, with faults on request.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "core/ByteStreams.h"
#include "core/RunStorage.h"

namespace lexset::test {

// Hands out `data` at most `piece` bytes per read; after `fail_after` bytes
// every read fails.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view data, std::size_t piece = std::numeric_limits<std::size_t>::max(),
                        std::size_t fail_after = std::numeric_limits<std::size_t>::max())
      : data_(data), piece_(piece), fail_after_(fail_after) {}
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
    if (offset_ >= fail_after_) return -1;
    const std::size_t n = std::min({capacity, piece_, data_.size() - offset_, fail_after_ - offset_});
    std::copy_n(data_.data() + offset_, n, buffer);
    offset_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  std::string_view data_;
  std::size_t piece_;
  std::size_t fail_after_;
  std::size_t offset_ = 0;
};

// Copies at most `capacity` bytes of `bytes` from `offset`; returns how many.
inline std::ptrdiff_t CopyAt(const std::string& bytes, std::uint64_t offset, std::uint64_t capacity, char* buffer) {
  if (offset >= bytes.size()) return 0;
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, bytes.size() - offset));
  std::copy_n(bytes.data() + offset, n, buffer);
  return static_cast<std::ptrdiff_t>(n);
}

// Bytes written once, to be read back; reads fail after `fail_after` bytes.
class MemoryReadBack final : public RunFile {
 public:
  explicit MemoryReadBack(std::string bytes, std::size_t fail_after = std::numeric_limits<std::size_t>::max())
      : bytes_(std::move(bytes)),
        fail_after_(fail_after),
        source_(bytes_, std::numeric_limits<std::size_t>::max(), fail_after) {}
  bool Write(const char*, std::size_t) override { return false; }
  bool Rewind() override { return true; }
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
    const std::ptrdiff_t got = source_.Read(buffer, capacity);
    if (got < 0) error_ = "the test's result cannot be read back";
    return got;
  }
  const std::string& error() const override { return error_; }
  bool CanReadAt() const override { return true; }
  std::ptrdiff_t ReadAt(std::uint64_t offset, char* buffer, std::size_t capacity, std::string* error) override {
    if (offset >= fail_after_) {
      *error = "the test's result cannot be read back";
      return -1;
    }
    return CopyAt(bytes_, offset, std::min<std::uint64_t>(capacity, fail_after_ - offset), buffer);
  }
  std::int64_t ReadableSize() override { return static_cast<std::int64_t>(bytes_.size()); }

 private:
  std::string bytes_;
  std::size_t fail_after_;
  MemorySource source_;
  std::string error_;
};

// Collects what is written; refuses any write that would pass `fail_after`.
// Like a result file, it can hand back what it holds, unless told to act as
// a stream that cannot.
class MemorySink : public ByteSink {
 public:
  explicit MemorySink(std::size_t fail_after = std::numeric_limits<std::size_t>::max(), bool takes_back = true)
      : fail_after_(fail_after), takes_back_(takes_back) {}
  bool Write(const char* data, std::size_t size) override {
    if (written_ + size > fail_after_) return false;
    written_ += size;
    bytes_.append(data, size);
    return true;
  }
  bool CanTakeBack() const override { return takes_back_; }
  std::unique_ptr<RunFile> TakeWritten() override {
    if (!takes_back_) return nullptr;
    ++taken_back;
    return std::make_unique<MemoryReadBack>(std::move(bytes_), read_back_fails_after);
  }
  const std::string& bytes() const { return bytes_; }
  int taken_back = 0;
  std::size_t read_back_fails_after = std::numeric_limits<std::size_t>::max();

 private:
  std::size_t fail_after_;
  bool takes_back_;
  std::size_t written_ = 0;  // in all, taken back or not
  std::string bytes_;
};

// Run files in memory, with faults on request: creating fails once
// `files_allowed` files exist; writing fails once `bytes_allowed` bytes have
// been written to all of them; reading fails once `reads_allowed` reads have
// been made.
class MemoryRunStorage : public RunStorage {
 public:
  std::unique_ptr<RunFile> Create() override;
  const std::string& error() const override { return error_; }

  std::size_t OpenAtOnce() const override { return open_at_once; }

  std::size_t open_at_once = kDefaultOpenAtOnce;
  std::size_t files_allowed = std::numeric_limits<std::size_t>::max();
  std::size_t bytes_allowed = std::numeric_limits<std::size_t>::max();
  std::size_t reads_allowed = std::numeric_limits<std::size_t>::max();

  std::size_t files_created = 0;
  std::size_t bytes_written = 0;
  std::atomic<std::size_t> reads{0};  // positioned reads come from several threads
  int files_open = 0;  // run files not yet destroyed
  int most_files_open = 0;

 private:
  std::string error_;
};

class MemoryRunFile final : public RunFile {
 public:
  explicit MemoryRunFile(MemoryRunStorage& storage) : storage_(storage) {
    storage_.most_files_open = std::max(storage_.most_files_open, ++storage_.files_open);
  }
  ~MemoryRunFile() override { --storage_.files_open; }

  bool Write(const char* data, std::size_t size) override {
    if (storage_.bytes_written + size > storage_.bytes_allowed) {
      error_ = "no space left in the test's run storage";
      return false;
    }
    storage_.bytes_written += size;
    bytes_.append(data, size);
    return true;
  }
  bool Rewind() override {
    offset_ = 0;
    return true;
  }
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override {
    if (++storage_.reads > storage_.reads_allowed) {
      error_ = "the test's run storage cannot be read";
      return -1;
    }
    const std::size_t n = std::min(capacity, bytes_.size() - offset_);
    std::copy_n(bytes_.data() + offset_, n, buffer);
    offset_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }
  const std::string& error() const override { return error_; }
  bool CanReadAt() const override { return true; }
  std::ptrdiff_t ReadAt(std::uint64_t offset, char* buffer, std::size_t capacity, std::string* error) override {
    if (++storage_.reads > storage_.reads_allowed) {
      *error = "the test's run storage cannot be read";
      return -1;
    }
    return CopyAt(bytes_, offset, capacity, buffer);
  }
  std::int64_t ReadableSize() override { return static_cast<std::int64_t>(bytes_.size()); }

 private:
  MemoryRunStorage& storage_;
  std::string bytes_;
  std::size_t offset_ = 0;
  std::string error_;
};

inline std::unique_ptr<RunFile> MemoryRunStorage::Create() {
  if (files_created >= files_allowed) {
    error_ = "the test's run storage makes no more files";
    return nullptr;
  }
  ++files_created;
  return std::make_unique<MemoryRunFile>(*this);
}

}  // namespace lexset::test
