//===- AboutDlg.cpp - The About box --------------------------------------===//
#include "ui/AboutDlg.h"

CAboutDlg::CAboutDlg() : CDialog(CAboutDlg::IDD) {}
