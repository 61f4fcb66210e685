//===- WordListDlg.cpp - The main window ---------------------------------===//
#include "ui/WordListDlg.h"

#include <shellapi.h>

#include <string>

#include "core/JobMessages.h"
#include "ui/AboutDlg.h"
#include "ui/Hyperlink.h"
#include "ui/WordListJob.h"
#include "ui/framework/FileDialog.h"
#include "ui/framework/PaintDC.h"
#include "ui/framework/WinApp.h"

namespace {

// The maker's website and e-mail address, as the two link labels show them.
constexpr char kWebsiteUrl[] = "http://www.example.com/";
constexpr char kEmailUrl[] = "mailto:me@example.com";

constexpr char kFileFilter[] = "Text File (*.txt)|*.txt|Word File (*.doc)|*.doc|All Files (*.*)|*.*||";
constexpr char kEmptyResultPath[] = "结果文件名不能为空。\r\n请先生成结果文件。";

// The path of the first file of a drop, however long, in the program's code
// page; empty if the drop holds none. The shell hands paths over in UTF-16,
// and their length in UTF-16 is asked first: the length the ANSI call gives
// for them has not always been the length in the code page.
std::string FirstDroppedFile(HDROP drop) {
  if (::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 0) return std::string();
  std::wstring wide(::DragQueryFileW(drop, 0, nullptr, 0) + 1, L'\0');
  wide.resize(::DragQueryFileW(drop, 0, &wide[0], static_cast<UINT>(wide.size())));
  if (wide.empty()) return std::string();
  const int length = static_cast<int>(wide.size());
  std::string path(::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr), '\0');
  path.resize(
      ::WideCharToMultiByte(CP_ACP, 0, wide.data(), length, &path[0], static_cast<int>(path.size()), nullptr, nullptr));
  return path;
}

// Whether a drop fell on `control` of `window`.
bool DroppedOn(HDROP drop, HWND window, HWND control) {
  POINT point;
  if (!::DragQueryPoint(drop, &point)) return false;  // on the frame or caption
  RECT rect;
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  return ::PtInRect(&rect, point) != FALSE;
}

}  // namespace

CWordListDlg::CWordListDlg(CWnd* parent) : CDialog(CWordListDlg::IDD, parent) {
  m_hIcon = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDI_APP));
}

void CWordListDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_SOURCE_PATH, m_strSource);
  DDX_Text(pDX, IDC_RESULT_PATH, m_strResult);
}

BEGIN_MESSAGE_MAP(CWordListDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_BROWSE_SOURCE, OnBrowseSource)
ON_BN_CLICKED(IDC_BROWSE_RESULT, OnBrowseResult)
ON_BN_CLICKED(IDC_OPEN_RESULT, OnOpenResult)
ON_WM_DROPFILES()
END_MESSAGE_MAP()

BOOL CWordListDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
    CString about;
    about.LoadString(IDS_ABOUT_MENU);
    if (!about.IsEmpty()) {
      systemMenu->AppendMenu(MF_SEPARATOR);
      systemMenu->AppendMenu(MF_STRING, IDM_ABOUT, about);
    }
  }

  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  AttachHyperlink(m_hWnd, IDC_WEBSITE_LINK, kWebsiteUrl, kDefaultLinkColour);
  AttachHyperlink(m_hWnd, IDC_EMAIL_LINK, kEmailUrl, kDefaultLinkColour);

  DragAcceptFiles();

  return TRUE;  // the first control that takes the focus, Start, gets it
}

// Start: the dialog stays open for the next job.
void CWordListDlg::OnOK() {
  UpdateData(TRUE);
  RunWordListJob(m_strSource, m_strResult, this);
}

void CWordListDlg::OnCancel() { CDialog::OnCancel(); }

// The About entry of the system menu shows the About box; every other
// system command is the system's.
void CWordListDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUT) {
    CAboutDlg about;
    about.DoModal();
  } else {
    CDialog::OnSysCommand(nID, lParam);
  }
}

// Draws the icon while the window is minimised.
void CWordListDlg::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  RECT rect;
  GetClientRect(&rect);
  const int x = (rect.right - rect.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (rect.bottom - rect.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

// The cursor shown while the minimised window is dragged.
HCURSOR CWordListDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CWordListDlg::OnBrowseSource() { BrowseInto(IDC_SOURCE_PATH); }

// The same Open dialog: a result file can be browsed to only if it exists; a
// new one is named by typing its path.
void CWordListDlg::OnBrowseResult() { BrowseInto(IDC_RESULT_PATH); }

void CWordListDlg::BrowseInto(int id) {
  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST | OFN_EXPLORER, kFileFilter, this);
  if (dialog.DoModal() == IDOK) SetDlgItemText(id, dialog.GetPathName());
}

// A file dropped on the result box names the result; dropped anywhere else
// on the window, the source. Of several files the first counts. As with
// Browse, only the box changes; nothing starts.
void CWordListDlg::OnDropFiles(HDROP hDropInfo) {
  const std::string path = FirstDroppedFile(hDropInfo);
  if (!path.empty()) {
    const bool result = DroppedOn(hDropInfo, m_hWnd, ::GetDlgItem(m_hWnd, IDC_RESULT_PATH));
    SetDlgItemText(result ? IDC_RESULT_PATH : IDC_SOURCE_PATH, path.c_str());
  }
  ::DragFinish(hDropInfo);
}

void CWordListDlg::OnOpenResult() {
  UpdateData(TRUE);
  if (m_strResult.IsEmpty()) {
    MessageBox(kEmptyResultPath, lexset::kMessageCaption, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  ::ShellExecuteA(nullptr, "open", m_strResult, nullptr, nullptr, SW_SHOW);
}
