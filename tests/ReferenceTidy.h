//===- ReferenceTidy.h - The job's rules, written as plainly as possible -===//
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace lexset::test {

// The job's rules, written as plainly as possible: split at the six separator
// bytes, stop at the first 0x1A, sort as unsigned bytes, drop repeats, end
// every line with CR LF.
inline std::string ReferenceTidy(std::string_view input) {
  std::vector<std::string> words;
  std::string word;
  for (char c : input) {
    if (c == '\x1a') break;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);

  auto unsigned_less = [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
  };
  std::sort(words.begin(), words.end(), unsigned_less);
  words.erase(std::unique(words.begin(), words.end()), words.end());

  std::string out;
  for (const std::string& w : words) out += w + "\r\n";
  return out;
}

}  // namespace lexset::test
