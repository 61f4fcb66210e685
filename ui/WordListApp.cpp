//===- WordListApp.cpp - The application object --------------------------===//
#include "ui/WordListApp.h"

#include "core/JobMessages.h"
#include "ui/WordListDlg.h"

BEGIN_MESSAGE_MAP(CWordListApp, CWinApp)
ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

// The one application object.
CWordListApp theApp;

// The framework's own messages take the caption of the program's.
CWordListApp::CWordListApp() : CWinApp(lexset::kMessageCaption) {}

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
