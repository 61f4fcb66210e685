//===- Present.cpp - Brings lexset's window forward for a screenshot -----===//
//
// usage: lexset-present [about]
//
// Waits for the main window, makes it the active window (no X window has the
// focus on a virtual display, so the caption would stay grey), and prints
// its screen rectangle as "WIDTHxHEIGHT+X+Y" for the screenshot tool. With
// "about" it opens the About box from the system menu and does the same
// for the box.
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

BOOL CALLBACK FindMainDialog(HWND window, LPARAM param) {
  if (IsWindowVisible(window) && GetDlgItem(window, 1001) != nullptr && GetDlgItem(window, 1002) != nullptr) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

struct Owned {
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM param) {
  auto* owned = reinterpret_cast<Owned*>(param);
  if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == owned->owner) {
    owned->found = window;
    return FALSE;
  }
  return TRUE;
}

// Opens the About box as its system menu entry does; returns the box.
HWND OpenAbout(HWND dialog) {
  PostMessageA(dialog, WM_SYSCOMMAND, 0x0010, 0);
  Owned owned{dialog, nullptr};
  for (int i = 0; i < 500 && owned.found == nullptr; ++i) {
    EnumWindows(&FindOwnedDialog, reinterpret_cast<LPARAM>(&owned));
    if (owned.found == nullptr) Sleep(20);
  }
  return owned.found;
}

}  // namespace

int main(int argc, char** argv) {
  HWND dialog = nullptr;
  for (int i = 0; i < 1500 && dialog == nullptr; ++i) {
    EnumWindows(&FindMainDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) Sleep(20);
  }
  if (dialog == nullptr) {
    std::fprintf(stderr, "lexset's window did not appear\n");
    return 1;
  }
  DWORD_PTR ignored;
  SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
  SetForegroundWindow(GetDesktopWindow());
  Sleep(100);
  SetForegroundWindow(dialog);
  Sleep(100);
  // Wine may hold the caption grey while no X window has the focus, even
  // for the foreground window; this draws it active.
  SendMessageTimeoutA(dialog, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  Sleep(300);
  if (argc > 1 && std::strcmp(argv[1], "about") == 0) {
    dialog = OpenAbout(dialog);
    if (dialog == nullptr) {
      std::fprintf(stderr, "the About box did not appear\n");
      return 1;
    }
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
    SendMessageTimeoutA(dialog, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    Sleep(300);
  }
  RECT rect;
  GetWindowRect(dialog, &rect);
  std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
  return 0;
}
