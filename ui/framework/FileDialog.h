//===- FileDialog.h - CFileDialog: the system's Open and Save dialogs -----===//
#pragma once

#include <windows.h>

#include <string>

#include "ui/framework/String.h"

class CWnd;

class CFileDialog {
 public:
  // `filter` is "Name|pattern|Name|pattern||", as the framework writes it.
  CFileDialog(BOOL bOpenFileDialog, LPCSTR defaultExtension = nullptr, LPCSTR fileName = nullptr,
              DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR filter = nullptr, CWnd* parent = nullptr);

  // Shows the dialog. Returns IDOK when the user chose a file, else IDCANCEL.
  INT_PTR DoModal();
  // The full path of the chosen file.
  CString GetPathName() const { return CString(m_file.c_str()); }

  OPENFILENAMEA m_ofn;

 private:
  BOOL m_bOpenFileDialog;
  std::string m_filter;  // the filter with its separators turned into NULs
  std::string m_file;    // the file name buffer
  std::string m_defaultExtension;
};
