//===- ProbeFormat.h - Texts in the probe's report -----------------------===//
#pragma once

#include <string>

namespace probe {

// Texts travel as hex, so any byte (CR LF, code page 936) survives a line.
inline std::string Hex(const std::string& text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : text) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex.empty() ? "-" : hex;
}

inline std::string Unhex(const std::string& hex) {
  if (hex == "-") return std::string();
  auto value = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  std::string text;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) text += static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1]));
  return text;
}

}  // namespace probe
