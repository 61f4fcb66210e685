//===- TextEncoding.cpp - Sources that start with a byte-order mark -------===//
#include "core/TextEncoding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/ByteRules.h"

namespace lexset {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

// Raw UTF-16 bytes read at a time, and internal bytes encoded at a time.
constexpr std::size_t kRawBufferSize = std::size_t{64} << 10;
constexpr std::size_t kEncodeChunk = std::size_t{64} << 10;

bool IsUtf16(TextEncoding encoding) { return encoding == TextEncoding::kUtf16Le || encoding == TextEncoding::kUtf16Be; }

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// A code unit that is a character of three bytes in UTF-8 on its own: most
// of a Chinese text.
bool IsThreeByteCharacter(std::uint32_t unit) { return unit >= 0x800 && (unit < 0xD800 || unit > 0xDFFF); }

char* PutThreeBytes(char* out, std::uint32_t c) {
  out[0] = static_cast<char>(0xE0 | (c >> 12));
  out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[2] = static_cast<char>(0x80 | (c & 0x3F));
  return out + 3;
}

// Writes a code point, or a lone surrogate, in the internal form.
char* PutInternal(char* out, std::uint32_t c) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return out + 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return out + 2;
  }
  if (c < 0x10000) return PutThreeBytes(out, c);
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return out + 4;
}

#if defined(__SSE2__)
__m128i SwapBytes(__m128i units) { return _mm_or_si128(_mm_slli_epi16(units, 8), _mm_srli_epi16(units, 8)); }
#endif

}  // namespace

std::string_view ByteOrderMark(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8:
      return kUtf8Mark;
    case TextEncoding::kUtf16Le:
      return kUtf16LeMark;
    case TextEncoding::kUtf16Be:
      return kUtf16BeMark;
    case TextEncoding::kBytes:
      break;
  }
  return {};
}

TextEncoding EncodingOf(std::string_view head) {
  if (head.substr(0, kUtf8Mark.size()) == kUtf8Mark) return TextEncoding::kUtf8;
  if (head.substr(0, kUtf16LeMark.size()) == kUtf16LeMark) return TextEncoding::kUtf16Le;
  if (head.substr(0, kUtf16BeMark.size()) == kUtf16BeMark) return TextEncoding::kUtf16Be;
  return TextEncoding::kBytes;
}

bool SourceText::Open() {
  if (!ReadHead()) return false;
  Start(EncodingOf(std::string_view(head_, head_size_)));
  return true;
}

bool SourceText::Open(TextEncoding known) {
  if (!ReadHead()) return false;
  Start(known);
  return true;
}

bool SourceText::ReadHead() {
  // A read may give fewer bytes than asked for; only the end stops this.
  while (head_size_ < sizeof head_ && !raw_at_end_) {
    const std::ptrdiff_t got = raw_.Read(head_ + head_size_, sizeof head_ - head_size_);
    if (got < 0) return false;
    raw_at_end_ = got == 0;
    head_size_ += static_cast<std::size_t>(got);
  }
  return true;
}

void SourceText::Start(TextEncoding encoding) {
  encoding_ = encoding;
  head_used_ = std::min(head_size_, ByteOrderMark(encoding_).size());
  if (IsUtf16(encoding_)) {
    // The byte read after a two-byte mark is the first one to decode.
    raw_buffer_ = ByteBuffer(kRawBufferSize);
    raw_end_ = head_size_ - head_used_;
    std::memcpy(raw_buffer_.data(), head_ + head_used_, raw_end_);
    head_used_ = head_size_;
  }
}

std::ptrdiff_t SourceText::Read(char* buffer, std::size_t capacity) {
  if (!IsUtf16(encoding_)) {
    if (head_used_ < head_size_) {
      const std::size_t n = std::min(capacity, head_size_ - head_used_);
      std::memcpy(buffer, head_ + head_used_, n);
      head_used_ += n;
      return static_cast<std::ptrdiff_t>(n);
    }
    return raw_.Read(buffer, capacity);
  }

  char* out = buffer;
  char* const end = buffer + capacity;
  while (out < end) {
    if (pending_begin_ < pending_end_) {
      *out++ = pending_[pending_begin_++];
      continue;
    }
    if (at_end_of_text_) break;
    char* const before = out;
    if (end - out >= 4) {
      out = Decode(out, end);
    } else {
      // Too little room for any character: one goes aside, to be handed out
      // a few bytes at a time.
      pending_begin_ = 0;
      pending_end_ = static_cast<std::size_t>(Decode(pending_, pending_ + sizeof pending_) - pending_);
    }
    if (out != before || pending_begin_ < pending_end_) continue;

    // Nothing more can be decoded from the raw bytes at hand.
    if (raw_failed_) return out != buffer ? out - buffer : -1;
    if (raw_at_end_) {
      if (raw_begin_ == raw_end_) break;
      // The source ends in the middle of a code unit. Words before it are
      // handed out first.
      if (out != buffer) break;
      half_unit_ = true;
      return -1;
    }
    if (!ReadRaw() && out == buffer) return -1;
  }
  return out - buffer;
}

bool SourceText::ReadRaw() {
  const std::size_t kept = raw_end_ - raw_begin_;
  std::memmove(raw_buffer_.data(), raw_buffer_.data() + raw_begin_, kept);
  raw_begin_ = 0;
  raw_end_ = kept;
  const std::ptrdiff_t got = raw_.Read(raw_buffer_.data() + kept, raw_buffer_.size() - kept);
  if (got < 0) {
    raw_failed_ = true;
    return false;
  }
  raw_at_end_ = got == 0;
  raw_end_ += static_cast<std::size_t>(got);
  return true;
}

char* SourceText::Decode(char* out, char* const out_end) {
  const unsigned char* const base = reinterpret_cast<const unsigned char*>(raw_buffer_.data());
  const unsigned char* p = base + raw_begin_;
  const unsigned char* const end = base + raw_end_;
  const bool little_endian = encoding_ == TextEncoding::kUtf16Le;
  while (out_end - out >= 4) {
#if defined(__SSE2__)
    // The ASCII characters among the next sixteen, up to the first that is
    // not ASCII or is U+001A, at once.
    if (end - p >= 32 && out_end - out >= 16) {
      __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      if (!little_endian) {
        a = SwapBytes(a);
        b = SwapBytes(b);
      }
      const __m128i not_ascii = _mm_set1_epi16(static_cast<short>(0xFF80));
      const __m128i zero = _mm_setzero_si128();
      const __m128i ascii = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_and_si128(a, not_ascii), zero),
                                            _mm_cmpeq_epi16(_mm_and_si128(b, not_ascii), zero));
      const __m128i bytes = _mm_packus_epi16(a, b);
      const __m128i end_of_text = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(kEndOfText)));
      const unsigned plain = static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(end_of_text, ascii)));
      const unsigned count = static_cast<unsigned>(__builtin_ctz(~plain));  // bit 16 is always clear
      if (count != 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
        out += count;
        p += 2 * count;
        continue;
      }
    }
#endif
    if (end - p < 2) break;
    const std::uint32_t unit = little_endian ? (p[0] | p[1] << 8) : (p[0] << 8 | p[1]);
    // A run of three-byte characters in a short loop.
    if (IsThreeByteCharacter(unit)) {
      const unsigned char* q = p;
      char* o = out;
      std::uint32_t u = unit;
      do {
        o = PutThreeBytes(o, u);
        q += 2;
        if (end - q < 2 || out_end - o < 4) break;
        u = little_endian ? (q[0] | q[1] << 8) : (q[0] << 8 | q[1]);
      } while (IsThreeByteCharacter(u));
      p = q;
      out = o;
      continue;
    }
    std::uint32_t c = unit;
    std::size_t used = 2;
    if (IsHighSurrogate(unit)) {
      if (end - p >= 4) {
        const std::uint32_t next = little_endian ? (p[2] | p[3] << 8) : (p[2] << 8 | p[3]);
        if (IsLowSurrogate(next)) {
          c = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
          used = 4;
        }
      } else if (!raw_at_end_) {
        break;  // its partner may be in the next read
      }
    }
    p += used;
    out = PutInternal(out, c);
    if (c == kEndOfText) {
      at_end_of_text_ = true;
      break;
    }
  }
  raw_begin_ = static_cast<std::size_t>(p - base);
  return out;
}

ResultText::ResultText(ByteSink& sink, TextEncoding encoding) : sink_(sink), encoding_(encoding) {
  // A byte of the internal form gives at most two bytes of UTF-16.
  if (IsUtf16(encoding)) buffer_ = ByteBuffer(2 * kEncodeChunk);
}

bool ResultText::WriteMark() {
  const std::string_view mark = ByteOrderMark(encoding_);
  return mark.empty() || sink_.Write(mark.data(), mark.size());
}

bool ResultText::Write(const char* data, std::size_t size) {
  if (!IsUtf16(encoding_)) return sink_.Write(data, size);
  // Complete a character that the last write cut.
  if (carry_size_ != 0) {
    while (size != 0 && carry_size_ < sizeof carry_) {
      carry_[carry_size_++] = *data++;
      --size;
      const std::ptrdiff_t used = EncodeWhole(carry_, carry_size_);
      if (used < 0) return false;
      if (used != 0) {
        carry_size_ = 0;
        break;
      }
    }
  }
  while (size != 0) {
    const std::size_t chunk = std::min(size, kEncodeChunk);
    const std::ptrdiff_t used = EncodeWhole(data, chunk);
    if (used < 0) return false;
    data += used;
    size -= static_cast<std::size_t>(used);
    if (chunk == size + static_cast<std::size_t>(used) && size != 0 && size < sizeof carry_) {
      // The last few bytes start a character that the next write ends.
      std::memcpy(carry_, data, size);
      carry_size_ = size;
      break;
    }
  }
  return true;
}

std::ptrdiff_t ResultText::EncodeWhole(const char* data, std::size_t size) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
  const unsigned char* const end = p + size;
  unsigned char* const begin = reinterpret_cast<unsigned char*>(buffer_.data());
  unsigned char* out = begin;
  const bool little_endian = encoding_ == TextEncoding::kUtf16Le;
  auto put = [&out, little_endian](std::uint32_t unit) {
    out[little_endian ? 0 : 1] = static_cast<unsigned char>(unit);
    out[little_endian ? 1 : 0] = static_cast<unsigned char>(unit >> 8);
    out += 2;
  };
  while (p < end) {
#if defined(__SSE2__)
    if (end - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      if (_mm_movemask_epi8(bytes) == 0) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i low = little_endian ? _mm_unpacklo_epi8(bytes, zero) : _mm_unpacklo_epi8(zero, bytes);
        const __m128i high = little_endian ? _mm_unpackhi_epi8(bytes, zero) : _mm_unpackhi_epi8(zero, bytes);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), high);
        out += 32;
        p += 16;
        continue;
      }
    }
#endif
    const std::uint32_t lead = *p;
    // The internal form comes from SourceText alone, so every lead byte
    // starts a whole sequence; any other byte would pass as its own value.
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (static_cast<std::size_t>(end - p) < length) break;
    switch (length) {
      case 1:
        put(lead);
        break;
      case 2:
        put((lead & 0x1F) << 6 | (p[1] & 0x3Fu));
        break;
      case 3:
        put((lead & 0x0F) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu));
        break;
      default: {
        const std::uint32_t c = ((lead & 0x07) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu));
        put(0xD800 + ((c - 0x10000) >> 10));
        put(0xDC00 + ((c - 0x10000) & 0x3FF));
      }
    }
    p += length;
  }
  if (out != begin && !sink_.Write(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(out - begin))) {
    return -1;
  }
  return reinterpret_cast<const char*>(p) - data;
}

}  // namespace lexset
