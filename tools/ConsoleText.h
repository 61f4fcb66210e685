//===- ConsoleText.h - Texts for the console the program runs in ----------===//
#pragma once

#include <cstddef>
#include <string>

namespace lexset {

// Turns a text of the program (its ANSI code page, CR LF line ends) into
// what the console shows: on Windows the console's code page, elsewhere
// UTF-8; with LF line ends.
std::string ToConsoleText(const std::string& text);

// How many columns a text from ToConsoleText takes: Chinese characters take
// two.
std::size_t DisplayWidth(const std::string& console_text);

// Whether standard error is a console or terminal, where a line can be
// rewritten in place.
bool StandardErrorIsConsole();

}  // namespace lexset
