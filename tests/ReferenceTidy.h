//===- ReferenceTidy.h - The job's rules, written as plainly as possible -===//
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace lexset::test {

// What the reference gives for a UTF-16 source that ends in half a code unit:
// the job must refuse it.
inline const std::string kIncompleteSource = "<the source ends in half a UTF-16 code unit>";

// Split at the six separators, stop at the first end-of-text character, sort,
// drop repeats. Characters are bytes, or UTF-16 code points.
template <class Word>
std::vector<Word> ReferenceWords(const Word& text) {
  std::vector<Word> words;
  Word word;
  for (auto c : text) {
    if (c == 0x1a) break;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(word);
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return words;
}

// A byte source: sorted as unsigned bytes, every line ended with CR LF.
inline std::string ReferenceTidyBytes(std::string_view input) {
  const std::vector<unsigned char> text(input.begin(), input.end());
  std::string out;
  for (const auto& w : ReferenceWords(text)) out += std::string(w.begin(), w.end()) + "\r\n";
  return out;
}

// A UTF-16 source after its mark: decoded to code points (a lone surrogate
// stands for itself), tidied, and encoded back the same way.
inline std::string ReferenceTidyUtf16(std::string_view input, bool little_endian) {
  auto unit_at = [&](std::size_t i) -> char32_t {
    const unsigned char a = static_cast<unsigned char>(input[i]), b = static_cast<unsigned char>(input[i + 1]);
    return little_endian ? a | b << 8 : a << 8 | b;
  };
  std::u32string text;
  std::size_t i = 0;
  bool ended = false;  // at an end-of-text character
  for (; i + 2 <= input.size() && !ended; i += 2) {
    char32_t c = unit_at(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 4 <= input.size() && unit_at(i + 2) >= 0xDC00 && unit_at(i + 2) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit_at(i + 2) - 0xDC00);
      i += 2;
    }
    text += c;
    ended = c == 0x1a;
  }
  if (!ended && i < input.size()) return kIncompleteSource;

  std::string out;
  auto put = [&](char32_t unit) {
    out += static_cast<char>(little_endian ? unit & 0xFF : unit >> 8);
    out += static_cast<char>(little_endian ? unit >> 8 : unit & 0xFF);
  };
  for (const std::u32string& w : ReferenceWords(text)) {
    for (char32_t c : w) {
      if (c >= 0x10000) {
        put(0xD800 + ((c - 0x10000) >> 10));
        put(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        put(c);
      }
    }
    put(U'\r');
    put(U'\n');
  }
  return out;
}

// The whole job: a byte-order mark at the start chooses the encoding, and
// starts the result too.
inline std::string ReferenceTidy(std::string_view input) {
  for (const char* mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    const std::string_view m(mark);
    if (input.substr(0, m.size()) != m) continue;
    const std::string_view text = input.substr(m.size());
    const std::string result =
        m.size() == 3 ? ReferenceTidyBytes(text) : ReferenceTidyUtf16(text, m[0] == '\xFF');
    return result == kIncompleteSource ? result : std::string(m) + result;
  }
  return ReferenceTidyBytes(input);
}

}  // namespace lexset::test
