//===- WordListDlg.h - The main window -----------------------------------===//
#pragma once

#include "res/resource.h"
#include "ui/framework/Dialog.h"
#include "ui/framework/String.h"

// The dialog in which the user names the source and result files, starts
// the job, opens the result and leaves.
class CWordListDlg : public CDialog {
 public:
  explicit CWordListDlg(CWnd* parent = nullptr);

  enum { IDD = IDD_MAIN };
  CString m_strSource;
  CString m_strResult;

 protected:
  HICON m_hIcon;

  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnBrowseSource();
  void OnBrowseResult();
  void OnOpenResult();
  void OnDropFiles(HDROP hDropInfo);

  DECLARE_MESSAGE_MAP()

 private:
  // Lets the user pick an existing file and puts its path in control `id`.
  void BrowseInto(int id);
};
