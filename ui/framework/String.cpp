//===- String.cpp - CString: the framework's byte string ------------------===//
#include "ui/framework/String.h"

#include "platform/WideText.h"
#include "ui/framework/WinApp.h"

static_assert(CP_PROGRAM == lexset::kProgramCodePage, "the framework and the job's messages share one code page");

BOOL CString::LoadString(UINT id) {
  // Resource strings are UTF-16; LoadStringA would convert them to the ANSI
  // code page, which may lack them. The length comes first.
  const wchar_t* stored = nullptr;
  const int length = ::LoadStringW(AfxGetInstanceHandle(), id, reinterpret_cast<LPWSTR>(&stored), 0);
  text_.clear();
  if (length <= 0 || stored == nullptr) return FALSE;
  text_ = lexset::Narrow(std::wstring(stored, static_cast<std::size_t>(length)), CP_PROGRAM);
  return !text_.empty();
}

CA2W::CA2W(LPCSTR text, UINT codePage) : text_(text != nullptr ? lexset::Widen(text, codePage) : std::wstring()) {}
