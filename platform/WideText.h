//===- WideText.h - The program's texts for the wide functions of Windows -===//
//
// The program's own texts are in code page 936 whatever the system's ANSI
// code page; paths, the system's reasons and the command line are in the
// ANSI code page. Shown through the wide (UTF-16) functions, each from its
// own code page, they read right on every system.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>
#include <string>

#include "core/ByteStreams.h"
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

// Where a result written to `console` is shown as text, as the user reads
// it whatever the console's code page: decoded by its byte-order mark,
// which is not shown, or else from the console's code page (as the
// system's own commands show files), a whole line at a time.
std::unique_ptr<ByteSink> ConsoleSink(void* console);

}  // namespace lexset
