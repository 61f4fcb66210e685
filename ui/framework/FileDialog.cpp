//===- FileDialog.cpp - CFileDialog: the system's Open and Save dialogs ---===//
#include "ui/framework/FileDialog.h"

#include <commdlg.h>

#include <algorithm>
#include <cstring>

#include "ui/framework/Wnd.h"

namespace {

// Room for the longest path the ANSI functions take, and then some.
constexpr std::size_t kFileBufferSize = 1024;

}  // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, LPCSTR defaultExtension, LPCSTR fileName, DWORD flags, LPCSTR filter,
                         CWnd* parent)
    : m_ofn(), m_bOpenFileDialog(bOpenFileDialog), m_file(kFileBufferSize, '\0') {
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.hwndOwner = parent != nullptr ? parent->m_hWnd : nullptr;
  m_ofn.Flags = flags;
  if (fileName != nullptr) m_file.replace(0, std::min(m_file.size() - 1, std::strlen(fileName)), fileName);
  m_ofn.lpstrFile = &m_file[0];
  m_ofn.nMaxFile = static_cast<DWORD>(m_file.size() - 1);
  if (defaultExtension != nullptr) {
    m_defaultExtension = defaultExtension;
    m_ofn.lpstrDefExt = m_defaultExtension.c_str();
  }
  if (filter != nullptr) {
    // Each '|' becomes a NUL; the second byte of a double-byte character
    // may look like '|' and is kept.
    m_filter = filter;
    for (std::size_t i = 0; i < m_filter.size(); ++i) {
      if (::IsDBCSLeadByte(static_cast<BYTE>(m_filter[i])) && i + 1 < m_filter.size()) {
        ++i;
      } else if (m_filter[i] == '|') {
        m_filter[i] = '\0';
      }
    }
    m_ofn.lpstrFilter = m_filter.c_str();
    m_ofn.nFilterIndex = 1;
  }
}

INT_PTR CFileDialog::DoModal() {
  const BOOL chosen = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
  return chosen ? IDOK : IDCANCEL;
}
