//===- AboutDlg.h - The About box ----------------------------------------===//
#pragma once

#include "res/resource.h"
#include "ui/framework/Dialog.h"

// Names the program and its version; OK or Escape closes it.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg();

  enum { IDD = IDD_ABOUT };
};
