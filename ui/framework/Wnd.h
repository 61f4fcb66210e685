//===- Wnd.h - CWnd: a window of the framework ---------------------------===//
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "ui/framework/CmdTarget.h"
#include "ui/framework/Menu.h"
#include "ui/framework/String.h"

// A window handle with the few operations the dialogs use, and the hook
// through which its messages reach the message map.
class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  // The text of a child control, in the ANSI code page (a path), however
  // long; and setting it.
  CString GetDlgItemText(int id) const;
  void SetDlgItemText(int id, LPCSTR text) const { ::SetDlgItemTextA(m_hWnd, id, text); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  // Lets the shell drop files on the window, as WM_DROPFILES.
  void DragAcceptFiles(BOOL bAccept = TRUE) const { ::DragAcceptFiles(m_hWnd, bAccept); }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
  void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)); }
  // Moves the window to the middle of `pAlternateOwner`, or else of its
  // owner, or, with neither, or one that is hidden or minimised, of the work
  // area of its monitor (the screen less the taskbar); always wholly inside
  // that work area.
  void CenterWindow(CWnd* pAlternateOwner = nullptr);
  // A message box owned by the window; `text` and `caption` are texts of the
  // program (CP_PROGRAM), or already in UTF-16.
  int MessageBox(LPCSTR text, LPCSTR caption, UINT type) const {
    return ::MessageBoxW(m_hWnd, CA2W(text), CA2W(caption), type);
  }
  int MessageBox(LPCWSTR text, LPCWSTR caption, UINT type) const { return ::MessageBoxW(m_hWnd, text, caption, type); }
  // The window's system menu, or null if it has none. With bRevert the menu
  // is reset to the system's and null is returned.
  CMenu* GetSystemMenu(BOOL bRevert);

  HWND m_hWnd = nullptr;

 protected:
  // Asks for the system's default handling of the message being handled,
  // once the handler returns.
  void Default() { m_defaultRequested = true; }

  // Set by Default(); read and cleared by the window procedure.
  bool m_defaultRequested = false;

 private:
  CMenu m_systemMenu;
};
