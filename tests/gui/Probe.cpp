//===- Probe.cpp - Observes the running program from inside --------------===//
//
// Loaded into lexset's process by the GUI tests. Under Wine some things can
// only be seen from inside the process: icon and cursor handles, the system
// menu, the bits of a cursor, the fonts of controls. The probe writes what
// it sees, a line each, the first word naming the line, to
// lexset-probe.dll.out beside itself, then unloads itself so it can be
// loaded again.
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "res/resource.h"

namespace {

HMODULE g_self = nullptr;

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
// monochrome cursor "picture-NAME" with its rows, top first, joined by '/':
// '.' leaves the screen, '#' is black, 'o' white, '~' inverts.
std::string CursorOver(HWND window, const std::string& name) {
  const DWORD ui = GetWindowThreadProcessId(window, nullptr);
  AttachThreadInput(GetCurrentThreadId(), ui, TRUE);
  SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  const HCURSOR cursor = GetCursor();
  AttachThreadInput(GetCurrentThreadId(), ui, FALSE);
  ICONINFO info{};
  if (cursor == nullptr || !GetIconInfo(cursor, &info)) return "cursor-" + name + " none\n";
  char line[128];
  std::snprintf(line, sizeof line, "cursor-%s %p %lu,%lu %s\n", name.c_str(), static_cast<void*>(cursor),
                static_cast<unsigned long>(info.xHotspot), static_cast<unsigned long>(info.yHotspot),
                info.hbmColor != nullptr ? "colour" : "mono");
  std::string out = line;
  // A monochrome cursor's mask holds the AND plane above the XOR plane.
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
  } format{{sizeof(BITMAPINFOHEADER), 32, -64, 1, 1, BI_RGB, 0, 0, 0, 0, 0}, {}};  // top row first
  unsigned char bits[64 * 4];
  const HDC dc = GetDC(nullptr);
  if (info.hbmColor == nullptr &&
      GetDIBits(dc, info.hbmMask, 0, 64, bits, reinterpret_cast<BITMAPINFO*>(&format), DIB_RGB_COLORS) == 64) {
    // A palette whose first entry is white means the bits are inverted.
    const int flip = format.colours[0].rgbRed != 0 ? 0xFF : 0;
    out += "picture-" + name + " ";
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        const bool a = ((bits[y * 4 + x / 8] ^ flip) >> (7 - x % 8)) & 1;
        const bool o = ((bits[128 + y * 4 + x / 8] ^ flip) >> (7 - x % 8)) & 1;
        out += a ? (o ? '~' : '.') : (o ? 'o' : '#');
      }
      out += y < 31 ? '/' : '\n';
    }
  }
  ReleaseDC(nullptr, dc);
  DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  return out;
}

// The texts of `dialog`'s labels and buttons that are wider or taller than
// their controls, in the fonts the controls draw them in, each followed by
// '|'. The link labels draw themselves in fonts of their own; the tests look
// at their pixels instead.
std::string CutTexts(HWND dialog) {
  std::string cut;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char kind[16] = "", text[256] = "";
    GetClassNameA(child, kind, sizeof kind);
    GetWindowTextA(child, text, sizeof text);
    const int id = GetDlgCtrlID(child);
    const bool label = _stricmp(kind, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON;
    if (!(label || _stricmp(kind, "Button") == 0) || id == IDC_WEBSITE_LINK || id == IDC_EMAIL_LINK) continue;
    RECT client, drawn{0, 0, 0, 0};
    GetClientRect(child, &client);
    const HDC dc = GetDC(child);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)));
    DrawTextA(dc, text, -1, &drawn, DT_SINGLELINE | DT_CALCRECT);
    SelectObject(dc, previous);
    ReleaseDC(child, dc);
    if (drawn.right > client.right || drawn.bottom > client.bottom) cut += std::string(text) + "|";
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
    char text[256] = "";
    GetMenuStringA(menu, last, text, sizeof text, MF_BYPOSITION);
    const bool separated = GetMenuState(menu, last - 1, MF_BYPOSITION) & MF_SEPARATOR;
    out += "menu-last " + std::to_string(GetMenuItemID(menu, last)) + (separated ? " after-separator " : " ") + text +
           "\n";
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

DWORD WINAPI ProbeThread(void*) {
  char path[MAX_PATH];
  GetModuleFileNameA(g_self, path, MAX_PATH);
  const std::string out = std::string(path) + ".out", partial = out + ".partial", text = Observe();
  const HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExA(partial.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);  // whole, or not there
  FreeLibraryAndExitThread(g_self, 0);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_self = instance;
    DisableThreadLibraryCalls(instance);
    if (const HANDLE thread = CreateThread(nullptr, 0, &ProbeThread, nullptr, 0, nullptr)) CloseHandle(thread);
  }
  return TRUE;
}
