//===- Probe.cpp - Observes the running program from inside --------------===//
//
// A message hook the GUI tests set on lexset's UI thread. Under Wine some
// things can only be seen from inside the process: icon and cursor handles,
// the system menu, the bits of a cursor, the fonts of controls. When the
// thread takes the message "lexset-probe" from its queue, the hook writes
// what it sees, a line each, the first word naming the line, to
// lexset-probe.dll.out beside itself. It runs on the thread itself, so it
// starts and ends no thread there.
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "res/resource.h"

namespace {

// Texts are reported in code page 936, as the tests write them, whatever
// the system's.
std::string Cp936(const wchar_t* text) {
  char narrow[1024] = "";
  WideCharToMultiByte(936, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

// Which icon, the program's own or a stock one, `icon` is.
std::string IconName(LRESULT icon) {
  if (icon == 0) return "none";
  if (icon == reinterpret_cast<LRESULT>(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP)))) return "app";
  if (icon == reinterpret_cast<LRESULT>(LoadIconA(nullptr, IDI_EXCLAMATION))) return "exclamation";
  if (icon == reinterpret_cast<LRESULT>(LoadIconA(nullptr, IDI_ASTERISK))) return "information";
  return "other";
}

// The cursor `window` sets when the mouse moves over it, as the UI thread
// sees it: "cursor-NAME HANDLE HOTX,HOTY mono|colour", and for a 32 x 32
// monochrome cursor how many of its pixels are black, white and inverting
// the screen, and the pixel at its hot spot.
std::string CursorOver(HWND window, const std::string& name) {
  SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  const HCURSOR cursor = GetCursor();
  ICONINFO info{};
  if (cursor == nullptr || !GetIconInfo(cursor, &info)) return "cursor-" + name + " none\n";
  // A monochrome cursor's mask holds the AND plane above the XOR plane.
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
  } format{{sizeof(BITMAPINFOHEADER), 32, -64, 1, 1, BI_RGB, 0, 0, 0, 0, 0}, {}};  // top row first
  unsigned char bits[64 * 4];
  const HDC dc = GetDC(nullptr);
  const bool read = info.hbmColor == nullptr && GetDIBits(dc, info.hbmMask, 0, 64, bits,
                                                          reinterpret_cast<BITMAPINFO*>(&format), DIB_RGB_COLORS) == 64;
  ReleaseDC(nullptr, dc);
  // A palette whose first entry is white means the bits are inverted.
  const int flip = format.colours[0].rgbRed != 0 ? 0xFF : 0;
  int counts[4] = {0, 0, 0, 0};  // by AND * 2 + XOR
  const char* const kPixel[] = {"black", "white", "screen", "inverting"};
  auto pixel = [&](int x, int y) {
    return (((bits[y * 4 + x / 8] ^ flip) >> (7 - x % 8)) & 1) * 2 +
           (((bits[128 + y * 4 + x / 8] ^ flip) >> (7 - x % 8)) & 1);
  };
  for (int i = 0; read && i < 32 * 32; ++i) ++counts[pixel(i % 32, i / 32)];
  char line[160];
  std::snprintf(line, sizeof line, "cursor-%s %p %lu,%lu %s black=%d white=%d inverting=%d tip=%s\n", name.c_str(),
                static_cast<void*>(cursor), static_cast<unsigned long>(info.xHotspot),
                static_cast<unsigned long>(info.yHotspot), info.hbmColor != nullptr ? "colour" : "mono", counts[0],
                counts[1], counts[3], read ? kPixel[pixel(info.xHotspot, info.yHotspot)] : "?");
  DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  return line;
}

// The texts of `dialog`'s labels and buttons that are wider or taller than
// their controls, in the fonts the controls draw them in, each followed by
// '|'. The link labels draw themselves in fonts of their own; the tests look
// at their pixels instead.
std::string CutTexts(HWND dialog) {
  std::string cut;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char kind[16] = "";
    wchar_t text[256] = L"";
    GetClassNameA(child, kind, sizeof kind);
    GetWindowTextW(child, text, std::size(text));
    const int id = GetDlgCtrlID(child);
    const bool label = _stricmp(kind, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON;
    if (!(label || _stricmp(kind, "Button") == 0) || id == IDC_WEBSITE_LINK || id == IDC_EMAIL_LINK) continue;
    RECT client, drawn{0, 0, 0, 0};
    GetClientRect(child, &client);
    const HDC dc = GetDC(child);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text, -1, &drawn, DT_SINGLELINE | DT_CALCRECT);
    SelectObject(dc, previous);
    ReleaseDC(child, dc);
    if (drawn.right > client.right || drawn.bottom > client.bottom) cut += Cp936(text) + "|";
  }
  return cut;
}

// Finds the process's visible dialogs: the main window, and a box it shows.
BOOL CALLBACK FindDialogs(HWND window, LPARAM found) {
  char name[8] = "";
  GetClassNameA(window, name, sizeof name);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::strcmp(name, "#32770") == 0) {
    reinterpret_cast<HWND*>(found)[GetDlgItem(window, IDC_SOURCE_PATH) != nullptr ? 0 : 1] = window;
  }
  return TRUE;
}

std::string Observe() {
  HWND dialogs[2] = {nullptr, nullptr};
  EnumWindows(&FindDialogs, reinterpret_cast<LPARAM>(dialogs));
  const HWND main = dialogs[0], box = dialogs[1];
  if (main == nullptr) return "window none\n";
  // The big and small icons, and the one shown while dragged minimised.
  std::string out = "icons " + IconName(SendMessageA(main, WM_GETICON, ICON_BIG, 0)) + " " +
                    IconName(SendMessageA(main, WM_GETICON, ICON_SMALL, 0)) + " " +
                    IconName(SendMessageA(main, WM_QUERYDRAGICON, 0, 0)) + "\n";
  // The system menu's last entry, and whether a separator comes before it.
  if (const HMENU menu = GetSystemMenu(main, FALSE)) {
    const int last = GetMenuItemCount(menu) - 1;
    wchar_t text[256] = L"";
    GetMenuStringW(menu, last, text, std::size(text), MF_BYPOSITION);
    const bool separated = GetMenuState(menu, last - 1, MF_BYPOSITION) & MF_SEPARATOR;
    out += "menu-last " + std::to_string(GetMenuItemID(menu, last)) + (separated ? " after-separator " : " ") +
           Cp936(text) + "\n";
  }
  // The scaling the program draws at, and what does not fit.
  const HDC screen = GetDC(main);
  out += "dpi " + std::to_string(GetDeviceCaps(screen, LOGPIXELSY)) + "\n";
  ReleaseDC(main, screen);
  out += "cut " + CutTexts(main) + "\n";
  if (box != nullptr) out += "box-cut " + CutTexts(box) + "\n";
  // The two link labels, and a plain label to compare.
  out += CursorOver(GetDlgItem(main, IDC_WEBSITE_LINK), "website");
  out += CursorOver(GetDlgItem(main, IDC_EMAIL_LINK), "email");
  out += CursorOver(GetDlgItem(main, IDC_STATIC), "plain");
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      out += "box-icon " + IconName(SendMessageA(child, STM_GETICON, 0, 0)) + "\n";
    }
  }
  return out;
}

void WriteReport() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&WriteReport), &self);
  char path[MAX_PATH];
  GetModuleFileNameA(self, path, MAX_PATH);
  const std::string out = std::string(path) + ".out", partial = out + ".partial", text = Observe();
  const HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExA(partial.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);  // whole, or not there
}

}  // namespace

// The WH_GETMESSAGE hook.
extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM removed, LPARAM message) {
  static const UINT kProbe = RegisterWindowMessageA("lexset-probe");
  if (code == HC_ACTION && removed == PM_REMOVE && reinterpret_cast<MSG*>(message)->message == kProbe) WriteReport();
  return CallNextHookEx(nullptr, code, removed, message);
}
