//===- String.h - CString: the framework's byte string --------------------===//
#pragma once

#include <windows.h>

#include <string>

// A string of ANSI bytes that converts to a C string wherever the Windows
// API takes one.
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

  // Loads a string resource of the executable. Returns false if it is missing.
  BOOL LoadString(UINT id);

  friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }
  friend bool operator!=(const CString& a, const CString& b) { return a.text_ != b.text_; }

 private:
  std::string text_;
};
