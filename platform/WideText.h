//===- WideText.h - The program's texts for the wide functions of Windows -===//
//
// The program's own texts are in code page 936 whatever the system's ANSI
// code page; paths, the system's reasons and the command line are in the
// ANSI code page. Shown through the wide (UTF-16) functions, each from its
// own code page, they read right on every system.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include "core/JobMessages.h"

namespace lexset {

// The code page of the program's own texts.
constexpr unsigned kProgramCodePage = 936;

std::wstring Widen(const std::string& text, unsigned code_page);
// `text` in `code_page`; characters it lacks become '?'.
std::string Narrow(const std::wstring& text, unsigned code_page);

// A message in UTF-16: its own words from the program's code page, what it
// quotes from the ANSI code page.
std::wstring WideText(const MessageText& message);

// Writes `text` to `console` (a console's handle), in pieces of a few KB:
// Windows 7 refuses a large write to a console. Returns false if a piece
// could not be written.
bool WriteToConsole(void* console, const std::wstring& text);

}  // namespace lexset
