//===- WordRecord.h - A stored word: its length in LEB128, then its bytes -===//
//
// The form in which the hash table's arena and the buckets keep words: most
// words are shorter than 128 bytes and take one byte of length.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <string_view>

#include "core/WordCompare.h"

namespace lexset {

// The bytes a record of a word of `size` bytes takes.
inline std::size_t RecordSize(std::size_t size) {
  std::size_t header = 1;
  for (std::size_t rest = size; rest >= 0x80; rest >>= 7) ++header;
  return header + size;
}

// Writes the record of `word` at `out`, which has RecordSize(word.size())
// bytes of room.
inline void WriteRecord(char* out, std::string_view word) {
  auto* p = reinterpret_cast<unsigned char*>(out);
  std::size_t size = word.size();
  while (size >= 0x80) {
    *p++ = static_cast<unsigned char>(size | 0x80);
    size >>= 7;
  }
  *p++ = static_cast<unsigned char>(size);
  CopyBytes(reinterpret_cast<char*>(p), word.data(), word.size());
}

// The word of the record at `record`.
inline std::string_view ReadRecord(const char* record) {
  const auto* p = reinterpret_cast<const unsigned char*>(record);
  std::size_t size = *p & 0x7F;
  for (unsigned shift = 7; *p++ & 0x80; shift += 7) size |= std::size_t{*p & 0x7Fu} << shift;
  return {reinterpret_cast<const char*>(p), size};
}

}  // namespace lexset
