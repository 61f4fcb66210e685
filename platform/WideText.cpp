//===- WideText.cpp - The program's texts for the wide functions of Windows ===//
#include "platform/WideText.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "core/TextEncoding.h"

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

namespace {

class ConsoleResult final : public ByteSink {
 public:
  explicit ConsoleResult(HANDLE console) : console_(console) {}

  bool Write(const char* data, std::size_t size) override {
    if (!started_) Start(data, size);
    pending_.append(data, size);
    // Every line, the last too, ends in LF; a character may be cut between
    // two writes, never at a line's end.
    const std::size_t end = WholeLines();
    if (end == 0) return true;
    const bool written = WriteToConsole(console_, Decode(pending_.substr(0, end)));
    pending_.erase(0, end);
    return written;
  }

 private:
  // The result's first write is its mark, if it has one.
  void Start(const char*& data, std::size_t& size) {
    started_ = true;
    encoding_ = EncodingOf(std::string_view(data, std::min<std::size_t>(size, 3)));
    const std::size_t mark = ByteOrderMark(encoding_).size();
    data += mark;
    size -= mark;
  }

  bool IsUtf16() const { return encoding_ == TextEncoding::kUtf16Le || encoding_ == TextEncoding::kUtf16Be; }

  // The bytes of pending_ up to the end of its last whole line.
  std::size_t WholeLines() const {
    if (!IsUtf16()) {
      const std::size_t lf = pending_.rfind('\n');
      return lf == std::string::npos ? 0 : lf + 1;
    }
    const std::string lf = encoding_ == TextEncoding::kUtf16Le ? std::string("\n\0", 2) : std::string("\0\n", 2);
    for (std::size_t end = pending_.size() & ~std::size_t{1}; end >= 2; end -= 2) {
      if (pending_.compare(end - 2, 2, lf) == 0) return end;
    }
    return 0;
  }

  std::wstring Decode(const std::string& bytes) const {
    switch (encoding_) {
      case TextEncoding::kBytes:
        return Widen(bytes, GetConsoleOutputCP());
      case TextEncoding::kUtf8:
        return Widen(bytes, CP_UTF8);
      case TextEncoding::kUtf16Le:
      case TextEncoding::kUtf16Be:
        break;
    }
    const int high = encoding_ == TextEncoding::kUtf16Be ? 0 : 1;
    std::wstring wide(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i + high]) << 8 |
                                     static_cast<unsigned char>(bytes[2 * i + 1 - high]));
    }
    return wide;
  }

  HANDLE console_;
  bool started_ = false;
  TextEncoding encoding_ = TextEncoding::kBytes;
  std::string pending_;
};

}  // namespace

std::unique_ptr<ByteSink> ConsoleSink(void* console) { return std::make_unique<ConsoleResult>(console); }

}  // namespace lexset
