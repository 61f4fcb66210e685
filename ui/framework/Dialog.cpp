//===- Dialog.cpp - CDialog: a modal dialog from a template resource ------===//
#include "ui/framework/Dialog.h"

#include <exception>
#include <new>

#include "ui/framework/WinApp.h"

namespace {

// Messages whose result a dialog procedure returns itself rather than
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
      return true;
    default:
      return false;
  }
}

// An exception must not unwind through the system's code: it is reported
// here, like the program's other messages under the application's name, and
// the message counts as handled.
void ReportException(HWND window, const char* what) {
  const CA2W caption(AfxGetApp() != nullptr ? AfxGetApp()->m_pszAppName : nullptr);
  ::MessageBoxW(window, CA2W(what), caption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

INT_PTR CDialog::DoModal() {
  // A dialog given no parent belongs to the main window, which it disables
  // while it is up.
  HWND parent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
  if (parent == nullptr && AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd != nullptr) {
    parent = AfxGetApp()->m_pMainWnd->m_hWnd;
  }
  // The wide function keeps the template's texts in UTF-16: the ANSI one
  // would convert them to the ANSI code page, which may lack them.
  return ::DialogBoxParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), parent, &CDialog::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnSysCommand(UINT, LPARAM) { Default(); }

void CDialog::OnPaint() { Default(); }

bool CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  // Buttons send BN_CLICKED (0), menus 0 and accelerators 1.
  if (message == WM_COMMAND && HIWORD(wParam) <= 1) {
    switch (LOWORD(wParam)) {
      case IDOK:
        OnOK();
        *result = 0;
        return true;
      case IDCANCEL:
        OnCancel();
        *result = 0;
        return true;
      default:
        // Commands the dialog does not handle go to the application.
        if (CWinApp* app = AfxGetApp()) return app->OnWndMsg(message, wParam, lParam, result);
        return false;
    }
  }
  return CWnd::OnWndMsg(message, wParam, lParam, result);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->m_hWnd = window;
    ::SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
  } else {
    dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
  }
  // Messages that come before WM_INITDIALOG (WM_SETFONT) find no object yet.
  if (dialog == nullptr) return FALSE;

  INT_PTR handled = FALSE;
  try {
    handled = dialog->Dispatch(message, wParam, lParam);
  } catch (const std::bad_alloc&) {
    ReportException(window, "内存不足。");
    handled = TRUE;
  } catch (const std::exception& e) {
    ReportException(window, e.what());
    handled = TRUE;
  } catch (...) {
    ReportException(window, "发生意外错误。");
    handled = TRUE;
  }
  if (message == WM_NCDESTROY) dialog->m_hWnd = nullptr;
  return handled;
}

// A dialog that its initialisation neither moved nor showed opens in the
// middle of its owner, or of the screen, as the framework's dialogs do; the
// template's position (the top left corner) is only a default.
BOOL CDialog::InitDialog() {
  RECT before;
  GetWindowRect(&before);
  const BOOL result = OnInitDialog();
  RECT after;
  GetWindowRect(&after);
  if ((GetStyle() & (WS_VISIBLE | WS_CHILD)) == 0 && after.left == before.left && after.top == before.top) {
    CenterWindow();
  }
  return result;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return InitDialog();

  m_defaultRequested = false;
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result) || m_defaultRequested) return FALSE;
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}
