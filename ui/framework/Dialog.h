//===- Dialog.h - CDialog: a modal dialog from a template resource --------===//
#pragma once

#include <windows.h>

#include "ui/framework/DataExchange.h"
#include "ui/framework/MessageMap.h"
#include "ui/framework/Wnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

  // Shows the dialog and runs its message loop until EndDialog. Returns the
  // code given to EndDialog, or -1 if the dialog could not be created. With
  // no parent, the application's main window owns the dialog.
  virtual INT_PTR DoModal();

  // Copies the controls into the members (TRUE) or the members into the
  // controls (FALSE).
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  void EndDialog(int result) { ::EndDialog(m_hWnd, result); }

  // The default handling of the messages below, for derived classes to
  // call from their own handlers.
  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();

  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 protected:
  // Called while the dialog is created, before it is shown. Return TRUE to
  // give the focus to the first control that takes it. A dialog this leaves
  // where it was, and hidden, is then centred.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* pDX) { (void)pDX; }
  // Called for the OK button and Enter; ends the dialog with IDOK.
  virtual void OnOK();
  // Called for the Cancel button, Escape and the close box; ends the dialog
  // with IDCANCEL.
  virtual void OnCancel();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  // Runs OnInitDialog, then centres the dialog unless it moved or showed it.
  BOOL InitDialog();

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
};
