//===- WordListApp.h - The application object ----------------------------===//
#pragma once

#include "ui/framework/WinApp.h"

// Runs the main dialog modally and ends the process when it closes.
class CWordListApp : public CWinApp {
 public:
  CWordListApp();

  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};
