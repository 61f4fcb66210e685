//===- LongPathsWin32.cpp - Paths for the wide functions of Windows ------===//
#include "platform/LongPathsWin32.h"

#include <windows.h>

namespace lexset {
namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, wcslen(prefix), prefix) == 0;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  std::size_t end = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsDBCSLeadByte(c) && i + 1 < path.size()) {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      end = i + 1;
    }
  }
  return path.substr(0, end);
}

std::wstring WidenPath(const std::string& path) {
  const UINT code_page = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  const int size = MultiByteToWideChar(code_page, 0, path.c_str(), -1, nullptr, 0);
  if (size <= 1) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(code_page, 0, path.c_str(), -1, &wide[0], size);
  wide.resize(static_cast<std::size_t>(size) - 1);
  return wide;
}

DWORD FullPath(const std::string& path, std::wstring* full) {
  const std::wstring wide = WidenPath(path.empty() ? std::string(".") : path);
  if (wide.empty()) return ERROR_INVALID_NAME;
  if (StartsWith(wide, L"\\\\?\\")) {
    *full = wide;
    return ERROR_SUCCESS;
  }
  DWORD size = MAX_PATH;
  for (;;) {
    full->assign(size, L'\0');
    const DWORD needed = GetFullPathNameW(wide.c_str(), size, &(*full)[0], nullptr);
    if (needed == 0) return GetLastError();
    if (needed < size) {
      full->resize(needed);
      break;
    }
    size = needed;
  }
  // A local or network path takes the prefix; a device ("\\.\NUL") stays
  // as it is.
  if (full->size() >= 3 && (*full)[1] == L':' && (*full)[2] == L'\\') {
    full->insert(0, L"\\\\?\\");
  } else if (StartsWith(*full, L"\\\\") && !StartsWith(*full, L"\\\\.\\") && !StartsWith(*full, L"\\\\?\\")) {
    full->replace(0, 2, L"\\\\?\\UNC\\");
  }
  return ERROR_SUCCESS;
}

DWORD UserPath(const std::string& path, std::wstring* system_path) {
  if (WidenPath(path).size() > MAX_PATH - 1) return ERROR_FILENAME_EXCED_RANGE;
  return FullPath(path, system_path);
}

std::wstring InFolder(const std::string& folder, const std::string& name) {
  std::wstring path;
  if (FullPath(folder, &path) != ERROR_SUCCESS) return WidenPath(folder + name);
  if (path.back() != L'\\') path += L'\\';
  return path + WidenPath(name);
}

}  // namespace lexset
