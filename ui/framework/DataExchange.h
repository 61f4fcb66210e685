//===- DataExchange.h - Moving values between controls and members -------===//
#pragma once

#include <windows.h>

#include "ui/framework/String.h"

class CWnd;

// One exchange: from the controls into the members when saving, the other
// way round otherwise.
class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};

// Exchanges the whole text of control `id` with `value`, unchanged.
void DDX_Text(CDataExchange* pDX, int id, CString& value);
