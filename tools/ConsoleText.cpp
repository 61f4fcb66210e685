//===- ConsoleText.cpp - Texts for the console the program runs in --------===//
#include "tools/ConsoleText.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/WideText.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lexset {
namespace {

std::FILE* File(Stream stream) { return stream == Stream::kOutput ? stdout : stderr; }

// Bytes for the C runtime's stream, which turns each LF into the platform's
// line end.
std::string WithoutCarriageReturns(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

#ifdef _WIN32
HANDLE Handle(Stream stream) { return GetStdHandle(stream == Stream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }
#else
int Descriptor(Stream stream) { return stream == Stream::kOutput ? STDOUT_FILENO : STDERR_FILENO; }
#endif

}  // namespace

void Write(Stream stream, const MessageText& text) {
  std::FILE* const file = File(stream);
#ifdef _WIN32
  if (IsConsole(stream)) {
    std::fflush(file);
    WriteToConsole(Handle(stream), WideText(text));
    return;
  }
  UINT code_page = GetConsoleOutputCP();
  if (code_page == 0) code_page = GetACP();
  std::fputs(WithoutCarriageReturns(Narrow(WideText(text), code_page)).c_str(), file);
#else
  std::fputs(WithoutCarriageReturns(text.text).c_str(), file);
#endif
  std::fflush(file);
}

std::size_t DisplayWidth(const MessageText& text) {
  std::size_t width = 0;
#ifdef _WIN32
  for (const wchar_t c : WideText(text)) width += c < 0x80 ? 1 : 2;
#else
  // UTF-8: a column for ASCII, two for the Chinese texts and punctuation
  // that the rest are.
  for (const char c : text.text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      ++width;
    } else if (byte >= 0xC0) {
      width += 2;
    }
  }
#endif
  return width;
}

bool IsConsole(Stream stream) {
#ifdef _WIN32
  DWORD mode = 0;
  return GetConsoleMode(Handle(stream), &mode) != 0;
#else
  return isatty(Descriptor(stream)) != 0;
#endif
}

bool OutputAndErrorShareAConsole() {
#ifdef _WIN32
  // A process has at most one console.
  return IsConsole(Stream::kOutput) && IsConsole(Stream::kError);
#else
  struct stat output, error;
  return IsConsole(Stream::kOutput) && IsConsole(Stream::kError) && fstat(STDOUT_FILENO, &output) == 0 &&
         fstat(STDERR_FILENO, &error) == 0 && output.st_rdev == error.st_rdev;
#endif
}

}  // namespace lexset
