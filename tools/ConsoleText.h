//===- ConsoleText.h - Message texts for a terminal ----------------------===//
#pragma once

#include <string>

namespace lexset {

// Turns a message text (the program's ANSI code page, CR LF line ends) into
// UTF-8 with LF line ends.
std::string ToConsoleText(const std::string& text);

}  // namespace lexset
