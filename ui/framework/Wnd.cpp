//===- Wnd.cpp - CWnd: a window of the framework -------------------------===//
#include "ui/framework/Wnd.h"

#include <string>

CString CWnd::GetDlgItemText(int id) const {
  const HWND item = ::GetDlgItem(m_hWnd, id);
  const int length = ::GetWindowTextLengthA(item);
  if (length <= 0) return CString();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = ::GetWindowTextA(item, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return CString(std::move(text));
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) {
  const HMENU menu = ::GetSystemMenu(m_hWnd, bRevert);
  if (bRevert || menu == nullptr) return nullptr;
  m_systemMenu.m_hMenu = menu;
  return &m_systemMenu;
}
