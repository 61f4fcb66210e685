//===- TextEncoding.h - Sources that start with a byte-order mark ---------===//
//
// A source is bytes, as it stands, unless it starts with a byte-order mark:
//  - EF BB BF: UTF-8. The mark is not a word; the result starts with it too.
//  - FF FE or FE FF: UTF-16, little- or big-endian. The rules apply to
//    characters: U+0009-U+000D and U+0020 separate words, U+001A ends the
//    input, and the result is written in the same encoding after the mark.
// Nothing else is guessed.
//
// Inside the job a UTF-16 source is held in an internal byte form, so that
// the word set, the sort and the run files work on bytes alone: every
// character as its UTF-8 bytes, and a lone surrogate (which UTF-8 cannot
// express, but must come back unchanged) as the three bytes UTF-8 would give
// its code unit. Byte order in this form is code point order, a lone
// surrogate sorting by its code unit; the six separators, and U+001A, are
// the only characters that give their bytes, and no other character's bytes
// contain them.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <string_view>

#include "core/ByteBuffer.h"
#include "core/ByteStreams.h"

namespace lexset {

enum class TextEncoding { kBytes, kUtf8, kUtf16Le, kUtf16Be };

// The mark that starts a source in `encoding`, and its result: empty for
// bytes.
std::string_view ByteOrderMark(TextEncoding encoding);

// The encoding of a source that starts with `head` (its first three bytes,
// or all of a shorter source).
TextEncoding EncodingOf(std::string_view head);

// A source as the job reads it: the mark recognised and skipped, a UTF-16
// source turned into the internal byte form, which ends with its first
// U+001A.
class SourceText final : public ByteSource {
 public:
  explicit SourceText(ByteSource& raw) : raw_(raw) {}

  // Reads the first bytes and recognises the mark. Returns false after a
  // read error.
  bool Open();
  // The same for text known to be in `encoding`, after its mark: the job's
  // own result, read back, whose first word may look like a mark.
  bool Open(TextEncoding encoding);
  TextEncoding encoding() const { return encoding_; }
  // Whether the source holds no byte at all, and so no encoding either.
  bool empty() const { return head_size_ == 0; }

  // Returns -1 after a read error, and also when a UTF-16 source ends in
  // half a code unit (then ended_in_half_unit()).
  std::ptrdiff_t Read(char* buffer, std::size_t capacity) override;
  bool ended_in_half_unit() const { return half_unit_; }

 private:
  bool ReadHead();
  void Start(TextEncoding encoding);
  // Refills the raw buffer, keeping the bytes not yet decoded. Returns false
  // after a read error.
  bool ReadRaw();
  // Decodes code units into `out` while `out_end` leaves room for a
  // character. Returns the end of what was written.
  char* Decode(char* out, char* out_end);

  ByteSource& raw_;
  TextEncoding encoding_ = TextEncoding::kBytes;
  char head_[3] = {};
  std::size_t head_size_ = 0;  // bytes read to recognise the mark, not yet handed out
  std::size_t head_used_ = 0;

  // UTF-16 only.
  ByteBuffer raw_buffer_{0};
  std::size_t raw_begin_ = 0;  // first byte not yet decoded
  std::size_t raw_end_ = 0;
  bool raw_at_end_ = false;
  bool raw_failed_ = false;
  bool at_end_of_text_ = false;
  bool half_unit_ = false;
  char pending_[4] = {};  // a character that did not fit the caller's buffer
  std::size_t pending_begin_ = 0;
  std::size_t pending_end_ = 0;
};

// The result as it is written: the mark first, then the lines, turned back
// from the internal byte form into UTF-16 where the source was.
class ResultText final : public ByteSink {
 public:
  ResultText(ByteSink& sink, TextEncoding encoding);

  // Writes the mark, if the encoding has one.
  bool WriteMark();
  bool Write(const char* data, std::size_t size) override;

 private:
  // Encodes whole characters of `data` into the buffer and writes them out.
  // Returns the bytes used, or -1 if the sink failed.
  std::ptrdiff_t EncodeWhole(const char* data, std::size_t size);

  ByteSink& sink_;
  TextEncoding encoding_;
  ByteBuffer buffer_{0};
  char carry_[4] = {};  // the start of a character cut by the end of a write
  std::size_t carry_size_ = 0;
};

}  // namespace lexset
