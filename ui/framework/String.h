//===- String.h - CString: the framework's byte string --------------------===//
#pragma once

#include <windows.h>

#include <string>

// The code page of the program's own texts (its string literals, and the
// strings it loads), whatever the system's ANSI code page: the framework
// shows them through the wide functions, converted from it. Paths, which the
// user types and the file functions take, are in the ANSI code page.
constexpr UINT CP_PROGRAM = 936;

// A string of bytes that converts to a C string wherever the Windows API
// takes one: a text of the program in CP_PROGRAM, or a path in the ANSI code
// page.
class CString {
 public:
  CString() = default;
  CString(const char* text) : text_(text != nullptr ? text : "") {}  // NOLINT: converts like the original
  CString(std::string text) : text_(std::move(text)) {}              // NOLINT

  CString& operator=(const char* text) {
    text_ = text != nullptr ? text : "";
    return *this;
  }

  operator LPCSTR() const { return text_.c_str(); }  // NOLINT
  const std::string& str() const { return text_; }

  int GetLength() const { return static_cast<int>(text_.size()); }
  BOOL IsEmpty() const { return text_.empty(); }
  void Empty() { text_.clear(); }

  // Loads a string resource of the executable, in CP_PROGRAM. Returns false
  // if it is missing.
  BOOL LoadString(UINT id);

  friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
  friend bool operator!=(const CString& a, const CString& b) { return a.text_ != b.text_; }

 private:
  std::string text_;
};

// A text converted to UTF-16 for a wide function, from CP_PROGRAM or the
// code page given.
class CA2W {
 public:
  explicit CA2W(LPCSTR text, UINT codePage = CP_PROGRAM);
  operator LPCWSTR() const { return text_.c_str(); }  // NOLINT: converts like the original

 private:
  std::wstring text_;
};
