//===- String.cpp - CString: the framework's byte string ------------------===//
#include "ui/framework/String.h"

#include "ui/framework/WinApp.h"

BOOL CString::LoadString(UINT id) {
  // LoadStringA cuts a string at the buffer's end, so grow until it fits.
  for (int capacity = 256;; capacity *= 2) {
    std::string buffer(static_cast<std::size_t>(capacity), '\0');
    const int size = ::LoadStringA(AfxGetInstanceHandle(), id, &buffer[0], capacity);
    if (size < capacity - 1 || capacity >= 65536) {
      text_.assign(buffer, 0, size > 0 ? static_cast<std::size_t>(size) : 0);
      return size > 0;
    }
  }
}
