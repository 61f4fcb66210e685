//===- WordListGenerator.h - Random word lists for the tests -------------===//
#pragma once

#include <random>
#include <string_view>
#include <string>
#include <vector>

namespace lexset::test {

using namespace std::string_view_literals;

// UTF-16 bytes of `units`, little- or big-endian.
inline std::string Utf16Bytes(std::u16string_view units, bool little_endian) {
  std::string bytes;
  for (char16_t unit : units) {
    bytes += static_cast<char>(little_endian ? unit & 0xFF : unit >> 8);
    bytes += static_cast<char>(little_endian ? unit >> 8 : unit & 0xFF);
  }
  return bytes;
}

inline const char kSeparators[] = {' ', '\t', '\n', '\v', '\f', '\r'};

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

  // A separator run: usually one byte, sometimes CR LF or several.
  std::string Gap() {
    switch (Below(6)) {
      case 0:
        return "\r\n";
      case 1:
        return std::string(1 + Below(4), kSeparators[Below(6)]);
      default:
        return std::string(1, kSeparators[Below(6)]);
    }
  }

  // A word of bytes drawn from `alphabet` (no separators in it).
  std::string Word(const std::string& alphabet, std::size_t max_size) {
    std::string w(1 + Below(max_size), '\0');
    for (char& c : w) c = alphabet[Below(alphabet.size())];
    return w;
  }

  std::vector<std::string> Vocabulary(const std::string& alphabet, std::size_t count, std::size_t max_size) {
    std::vector<std::string> words;
    for (std::size_t i = 0; i < count; ++i) words.push_back(Word(alphabet, max_size));
    return words;
  }

  std::string Join(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += w + Gap();
    return out;
  }

  // A text of `size` code units drawn from `units`, as UTF-16 after a mark:
  // little- or big-endian at random.
  std::string Utf16Text(const std::u16string& units, std::size_t size) {
    std::u16string text(1, u'\uFEFF');
    for (std::size_t i = 0; i < size; ++i) text += units[Below(units.size())];
    return Utf16Bytes(text, Below(2) == 0);
  }

  std::mt19937& rng() { return rng_; }

 private:
  std::mt19937 rng_;
};

// Code units that make UTF-16 decoding hard: separators, units with a
// separator byte in them, surrogates that may pair or stay alone, U+FEFF,
// NUL, private use, characters whose UTF-8 is two and three bytes long.
inline const std::u16string kHardUtf16Units(
    u"ab \t\r\n\x000B\x000C\0\u0A20\u200A\u0D09\u2009\u3000\uFEFF\uFFFD\uE000\xD800\xDBFF\xDC00\xDFFF\u4E2D\u00E9"sv);

// Every byte that belongs to words, but 0x1A.
inline std::string AllWordBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    const bool separator = b == ' ' || (b >= 9 && b <= 13);
    if (!separator && b != 0x1a) bytes += static_cast<char>(b);
  }
  return bytes;
}

}  // namespace lexset::test
