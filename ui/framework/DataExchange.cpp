//===- DataExchange.cpp - Moving values between controls and members -----===//
#include "ui/framework/DataExchange.h"

#include "ui/framework/Wnd.h"

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
  if (pDX->m_bSaveAndValidate) {
    value = pDX->m_pDlgWnd->GetDlgItemText(id);
  } else {
    pDX->m_pDlgWnd->SetDlgItemText(id, value);
  }
}
