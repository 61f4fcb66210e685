//===- Checks.cpp - Counting checks and printing the failed ones ---------===//
#include "tests/gui/Checks.h"

#include <windows.h>

#include <cstdio>

namespace gui {
namespace {

int g_passed = 0;
int g_failed = 0;
const char* g_group = "";

}  // namespace

bool Check(bool ok, const std::string& what, const char* file, int line) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("  FAILED [%s] %s:%d: %s\n", g_group, file, line, what.c_str());
  }
  return ok;
}

std::string Show(const std::string& text) {
  std::string shown = "\"";
  bool plain = true;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      shown += hex;
      plain = false;
    }
  }
  shown += "\"";
  if (!plain) {
    // The same text as UTF-8, to read it.
    wchar_t wide[4096];
    char utf8[8192];
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide, 4096);
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof utf8, nullptr, nullptr);
    shown += " (" + std::string(utf8, m > 0 ? static_cast<std::size_t>(m) : 0) + ")";
  }
  return shown;
}

void Group(const char* name, const std::function<void()>& body) {
  g_group = name;
  const int failed_before = g_failed;
  const DWORD start = GetTickCount();
  body();
  std::printf("%-44s %s (%lu ms)\n", name, g_failed == failed_before ? "ok" : "FAILED",
              static_cast<unsigned long>(GetTickCount() - start));
  std::fflush(stdout);
}

int Summary() {
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}

}  // namespace gui
