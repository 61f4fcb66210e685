//===- WideText.cpp - The program's texts for the wide functions of Windows ===//
#include "platform/WideText.h"

#include <windows.h>

#include <algorithm>

namespace lexset {

std::wstring Widen(const std::string& text, unsigned code_page) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0)), L'\0');
  if (!wide.empty()) MultiByteToWideChar(code_page, 0, text.data(), length, &wide[0], static_cast<int>(wide.size()));
  return wide;
}

std::string Narrow(const std::wstring& text, unsigned code_page) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  std::string narrow(
      static_cast<std::size_t>(WideCharToMultiByte(code_page, 0, text.data(), length, nullptr, 0, nullptr, nullptr)),
      '\0');
  if (!narrow.empty()) {
    WideCharToMultiByte(code_page, 0, text.data(), length, &narrow[0], static_cast<int>(narrow.size()), nullptr,
                        nullptr);
  }
  return narrow;
}

std::wstring WideText(const MessageText& message) {
  std::wstring wide;
  std::size_t done = 0;
  for (const auto& [offset, length] : message.quoted) {
    wide += Widen(message.text.substr(done, offset - done), kProgramCodePage);
    wide += Widen(message.text.substr(offset, length), CP_ACP);
    done = offset + length;
  }
  return wide + Widen(message.text.substr(done), kProgramCodePage);
}

bool WriteToConsole(void* console, const std::wstring& text) {
  constexpr std::size_t kPiece = 2048;  // UTF-16 units
  for (std::size_t at = 0; at < text.size();) {
    std::size_t size = std::min(kPiece, text.size() - at);
    // A surrogate pair stays whole.
    if (at + size < text.size() && IS_HIGH_SURROGATE(text[at + size - 1])) --size;
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + at, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
      return false;
    }
    at += written;
  }
  return true;
}

}  // namespace lexset
