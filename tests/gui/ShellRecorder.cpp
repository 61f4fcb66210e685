//===- ShellRecorder.cpp - Stands in for the browser, mailer and editor --===//
//
// The test prefix registers this program as the "open" command of http,
// https, mailto and .txt files, so the tests see what the shell was asked
// to open without starting anything. It appends its command line to
// shell.log beside itself and exits.
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char log[MAX_PATH];
  const DWORD size = GetModuleFileNameA(nullptr, log, MAX_PATH);
  char* slash = std::strrchr(log, '\\');
  if (size == 0 || slash == nullptr) return 1;
  std::strcpy(slash + 1, "shell.log");

  const HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const char* line = GetCommandLineA();
  DWORD written;
  WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
  return 0;
}
