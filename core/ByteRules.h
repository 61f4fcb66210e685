//===- ByteRules.h - Which bytes separate words and end the input -------===//
//
// Word lists are byte strings: nothing is decoded, so a word list in code
// page 936, UTF-8 or ASCII is split the same way. These are the rules of the
// classic "C" locale and of the Windows runtime's text mode.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string_view>

namespace lexset {

// Space, tab, line feed, vertical tab, form feed and carriage return.
// No other byte (NUL, 0x1C-0x1F, 0x7F, 0x80-0xFF) separates words.
constexpr bool IsSeparator(unsigned char byte) { return byte == 0x20 || (byte >= 0x09 && byte <= 0x0D); }

// Text mode ends the input at the first Ctrl-Z byte.
constexpr unsigned char kEndOfText = 0x1A;

// Every word of the result is followed by CR LF on disk.
constexpr std::string_view kLineEnd = "\r\n";

}  // namespace lexset
