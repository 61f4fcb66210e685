//===- String.cpp - CString: the framework's byte string ------------------===//
#include "ui/framework/String.h"

#include "ui/framework/WinApp.h"

BOOL CString::LoadString(UINT id) {
  // Resource strings are UTF-16; LoadStringA would convert them to the ANSI
  // code page, which may lack them. The length comes first.
  const wchar_t* stored = nullptr;
  const int length = ::LoadStringW(AfxGetInstanceHandle(), id, reinterpret_cast<LPWSTR>(&stored), 0);
  text_.clear();
  if (length <= 0 || stored == nullptr) return FALSE;
  text_.resize(static_cast<std::size_t>(
      ::WideCharToMultiByte(CP_PROGRAM, 0, stored, length, nullptr, 0, nullptr, nullptr)));
  ::WideCharToMultiByte(CP_PROGRAM, 0, stored, length, &text_[0], static_cast<int>(text_.size()), nullptr, nullptr);
  return !text_.empty();
}

CA2W::CA2W(LPCSTR text, UINT codePage) {
  const int length = text != nullptr ? ::MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0) : 0;
  if (length <= 1) return;
  text_.resize(static_cast<std::size_t>(length));
  ::MultiByteToWideChar(codePage, 0, text, -1, &text_[0], length);
  text_.resize(static_cast<std::size_t>(length) - 1);
}
