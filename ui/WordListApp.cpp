//===- WordListApp.cpp - The application object --------------------------===//
#include "ui/WordListApp.h"

#include "ui/WordListDlg.h"

BEGIN_MESSAGE_MAP(CWordListApp, CWinApp)
ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

// The one application object.
CWordListApp theApp;

BOOL CWordListApp::InitInstance() {
  AfxEnableControlContainer();
  Enable3dControls();

  CWordListDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;

  // The dialog has closed: end the process rather than start a message loop.
  return FALSE;
}
