//===- ConsoleText.cpp - Texts for the console the program runs in --------===//
#include "tools/ConsoleText.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace lexset {

std::string ToConsoleText(const std::string& text) {
  std::string converted = text;
#ifdef _WIN32
  // The program's texts and paths are in the ANSI code page; a console may
  // have another one, and a redirected stream takes the console's too.
  UINT code_page = GetConsoleOutputCP();
  if (code_page == 0) code_page = GetACP();
  const int wide_size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (code_page != GetACP() && wide_size > 0) {
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], wide_size);
    const int size = WideCharToMultiByte(code_page, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
    converted.assign(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(code_page, 0, wide.data(), wide_size, &converted[0], size, nullptr, nullptr);
  }
#endif
  std::string out;
  out.reserve(converted.size());
  for (std::size_t i = 0; i < converted.size(); ++i) {
    if (converted[i] == '\r' && i + 1 < converted.size() && converted[i + 1] == '\n') continue;
    out += converted[i];
  }
  return out;
}

std::size_t DisplayWidth(const std::string& console_text) {
#ifdef _WIN32
  // In the double-byte code pages each byte takes a column.
  if (GetConsoleOutputCP() != CP_UTF8) return console_text.size();
#endif
  // UTF-8: a column for ASCII, two for the Chinese texts and punctuation
  // that the rest are.
  std::size_t width = 0;
  for (const char c : console_text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      ++width;
    } else if (byte >= 0xC0) {
      width += 2;
    }
  }
  return width;
}

bool StandardErrorIsConsole() {
#ifdef _WIN32
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace lexset
