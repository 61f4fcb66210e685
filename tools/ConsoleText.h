//===- ConsoleText.h - Texts for the console the program runs in ----------===//
//
// The program's texts, and the paths and reasons its messages quote, as the
// user reads them. On a Windows console they are written in UTF-16, each part
// from its own code page, so that they read right whatever the console's
// code page and the system's; redirected, they are bytes in the console's
// code page (the ANSI code page without a console). Elsewhere they are UTF-8
// throughout. Line ends are the platform's.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>

#include "core/JobMessages.h"

namespace lexset {

enum class Stream { kOutput, kError };

// Writes `text` to the standard output or error, as it is: add "\r\n" for a
// line of its own.
void Write(Stream stream, const MessageText& text);

// How many columns `text` takes on a console or terminal: Chinese
// characters and punctuation take two.
std::size_t DisplayWidth(const MessageText& text);

// Whether the stream is a console or terminal, where a line can be
// rewritten in place.
bool IsConsole(Stream stream);

// Whether the standard output and error go to the same console or
// terminal, where lines of the one would land in the middle of the other.
bool OutputAndErrorShareAConsole();

}  // namespace lexset
