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

void CWnd::CenterWindow(CWnd* pAlternateOwner) {
  HWND over = pAlternateOwner != nullptr ? pAlternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
  if (over != nullptr && (!::IsWindowVisible(over) || ::IsIconic(over))) over = nullptr;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!::GetMonitorInfoA(::MonitorFromWindow(over != nullptr ? over : m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) {
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
  }
  const RECT& area = monitor.rcWork;
  RECT centre = area;
  if (over != nullptr) ::GetWindowRect(over, &centre);
  RECT window;
  GetWindowRect(&window);
  const LONG width = window.right - window.left, height = window.bottom - window.top;
  LONG left = (centre.left + centre.right) / 2 - width / 2;
  LONG top = (centre.top + centre.bottom) / 2 - height / 2;
  // Wholly on the work area; a window larger than it keeps its top left.
  if (left + width > area.right) left = area.right - width;
  if (left < area.left) left = area.left;
  if (top + height > area.bottom) top = area.bottom - height;
  if (top < area.top) top = area.top;
  ::SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
