//===- ByteBuffer.h - A buffer of bytes that are not cleared first -------===//
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

namespace lexset {

// Its bytes start undefined: a large buffer costs only the memory that is
// written, rather than clearing all of it up front.
class ByteBuffer {
 public:
  explicit ByteBuffer(std::size_t size) : data_(new char[size]), size_(size) {}
  // A buffer moved from is empty.
  ByteBuffer(ByteBuffer&& other) noexcept : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)) {}
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
    return *this;
  }

  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }

  // Makes the buffer `size` bytes long, keeping its first `kept` bytes.
  void Resize(std::size_t size, std::size_t kept) {
    std::unique_ptr<char[]> data(new char[size]);
    if (kept != 0) std::memcpy(data.get(), data_.get(), kept);
    data_ = std::move(data);
    size_ = size;
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_;
};

}  // namespace lexset
