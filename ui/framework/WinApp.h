//===- WinApp.h - CWinApp: the application object and the program's entry ===//
#pragma once

#include <windows.h>

#include "ui/framework/CmdTarget.h"
#include "ui/framework/MessageMap.h"

class CWnd;

// The one application object of the process. Its constructor registers it,
// so it must be a static object; WinMain then runs InitInstance.
class CWinApp : public CCmdTarget {
 public:
  explicit CWinApp(LPCSTR appName = nullptr);
  ~CWinApp() override;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Sets the application up. Returning FALSE ends the process without a
  // message loop of the application's own.
  virtual BOOL InitInstance() { return TRUE; }
  // Called as the process ends; returns its exit code.
  virtual int ExitInstance() { return 0; }
  // The application's message loop, for an InitInstance that returns TRUE.
  virtual int Run();

  // The three-dimensional look of controls, which the system has drawn by
  // itself since Windows 95: nothing is left to do.
  BOOL Enable3dControls() { return TRUE; }

  // The framework's help command: the program has no help file.
  void OnHelp() {}

  LPCSTR m_pszAppName;
  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;
};

// The command identifier of the framework's help command.
constexpr UINT ID_HELP = 0xE146;

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// Hosting ActiveX controls: the program's dialogs hold none.
inline void AfxEnableControlContainer() {}

// The framework's entry, called from WinMain.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
