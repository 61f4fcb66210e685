//===- Probe.cpp - Observes the running program from inside --------------===//
//
// Loaded into lexset's process by the GUI test driver. Some things can only
// be seen from inside the process under Wine: dialog units, the system menu,
// which icon a dialog shows, the cursor a window sets and its bits. The probe
// writes what it sees as "key=value" lines to probe.out beside itself, then
// unloads itself, so it can be loaded again later.
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/gui/ProbeFormat.h"

namespace {

HMODULE g_self = nullptr;

struct FindDialog {
  DWORD process;
  HWND dialog;
};

// The main dialog is the process's dialog holding the source path box.
BOOL CALLBACK FindMainDialog(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindDialog*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == find->process && GetDlgItem(window, 1001) != nullptr && GetDlgItem(window, 1002) != nullptr) {
    find->dialog = window;
    return FALSE;
  }
  return TRUE;
}

std::string WindowText(HWND window) {
  char text[4096];
  const int size = GetWindowTextA(window, text, sizeof text);
  return std::string(text, size > 0 ? static_cast<std::size_t>(size) : 0);
}

std::string ClassOf(HWND window) {
  char name[256];
  const int size = GetClassNameA(window, name, sizeof name);
  return std::string(name, size > 0 ? static_cast<std::size_t>(size) : 0);
}

// Which icon, the program's own or a stock one, a dialog shows.
const char* IconName(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    const HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    if (icon == LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128))) return "app";
    if (icon == LoadIconA(nullptr, IDI_EXCLAMATION)) return "exclamation";
    if (icon == LoadIconA(nullptr, IDI_ASTERISK)) return "information";
    if (icon == LoadIconA(nullptr, IDI_HAND)) return "stop";
    if (icon == LoadIconA(nullptr, IDI_QUESTION)) return "question";
    return "other";
  }
  return "none";
}

struct Boxes {
  HWND owner;
  std::string* out;
};

BOOL CALLBACK ListOwnedDialogs(HWND window, LPARAM param) {
  auto* boxes = reinterpret_cast<Boxes*>(param);
  if (GetWindow(window, GW_OWNER) == boxes->owner && IsWindowVisible(window) && ClassOf(window) == "#32770") {
    char line[64];
    std::snprintf(line, sizeof line, "box=%p icon=%s", static_cast<void*>(window), IconName(window));
    *boxes->out += line;
    *boxes->out += " caption=" + probe::Hex(WindowText(window));
    *boxes->out += " text=" + probe::Hex(WindowText(GetDlgItem(window, 0xFFFF))) + "\n";
  }
  return TRUE;
}

// The cursor `window` sets when the mouse moves over it, as the UI thread
// sees it: its handle, hot spot and AND and XOR planes (32 x 32 cursors
// only), each row four bytes, leftmost pixel in the high bit.
std::string CursorOver(HWND window) {
  const DWORD ui = GetWindowThreadProcessId(window, nullptr);
  AttachThreadInput(GetCurrentThreadId(), ui, TRUE);
  SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  const HCURSOR cursor = GetCursor();
  AttachThreadInput(GetCurrentThreadId(), ui, FALSE);

  char line[128];
  std::snprintf(line, sizeof line, "cursor id=%d handle=%p", GetDlgCtrlID(window), static_cast<void*>(cursor));
  std::string out = line;
  ICONINFO info{};
  if (cursor == nullptr || !GetIconInfo(cursor, &info)) return out + "\n";
  BITMAP mask{};
  GetObjectA(info.hbmMask, sizeof mask, &mask);
  std::snprintf(line, sizeof line, " icon=%d hot=%lu,%lu mask=%ldx%ld colour=%d", info.fIcon,
                static_cast<unsigned long>(info.xHotspot), static_cast<unsigned long>(info.yHotspot), mask.bmWidth,
                mask.bmHeight, info.hbmColor != nullptr);
  out += line;
  if (mask.bmWidth == 32 && mask.bmHeight == 64 && info.hbmColor == nullptr) {
    // A monochrome cursor's mask holds the AND plane above the XOR plane.
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[2];
    } format{};
    format.header.biSize = sizeof format.header;
    format.header.biWidth = 32;
    format.header.biHeight = -64;  // top row first
    format.header.biPlanes = 1;
    format.header.biBitCount = 1;
    format.header.biCompression = BI_RGB;
    std::string bits(64 * 4, '\0');
    const HDC dc = GetDC(nullptr);
    const int rows =
        GetDIBits(dc, info.hbmMask, 0, 64, &bits[0], reinterpret_cast<BITMAPINFO*>(&format), DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    if (rows == 64) {
      // Row bits come out as stored; a palette whose first entry is white
      // means they are inverted.
      if (format.colours[0].rgbRed != 0) {
        for (char& c : bits) c = static_cast<char>(~c);
      }
      out += " and=" + probe::Hex(bits.substr(0, 128)) + " xor=" + probe::Hex(bits.substr(128));
    }
  }
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  return out + "\n";
}

std::string Observe() {
  std::string out;
  char line[512];
  std::snprintf(line, sizeof line, "acp=%u\n", GetACP());
  out += line;

  FindDialog find{GetCurrentProcessId(), nullptr};
  EnumWindows(&FindMainDialog, reinterpret_cast<LPARAM>(&find));
  const HWND dialog = find.dialog;
  if (dialog == nullptr) return out + "dialog=none\n";

  RECT units{0, 0, 4, 8};
  MapDialogRect(dialog, &units);
  std::snprintf(line, sizeof line, "dialog=%p base=%ld,%ld\n", static_cast<void*>(dialog), units.right, units.bottom);
  out += line;

  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    std::snprintf(line, sizeof line, "child id=%d class=%s style=%08lx rect=%ld,%ld,%ld,%ld text=", GetDlgCtrlID(child),
                  ClassOf(child).c_str(), static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)), rect.left,
                  rect.top, rect.right, rect.bottom);
    out += line + probe::Hex(WindowText(child)) + "\n";
  }

  if (const HMENU menu = GetSystemMenu(dialog, FALSE)) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
      char text[256] = "";
      GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      std::snprintf(line, sizeof line, "sysmenu id=%u state=%x text=", GetMenuItemID(menu, i),
                    GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION));
      out += line + probe::Hex(text) + "\n";
    }
  }

  // The window's icons, and the program's own icon as LoadIcon shares it.
  std::snprintf(line, sizeof line, "icons big=%p small=%p drag=%p app=%p\n",
                reinterpret_cast<void*>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0)),
                reinterpret_cast<void*>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0)),
                reinterpret_cast<void*>(SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0)),
                static_cast<void*>(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128))));
  out += line;

  // The two link labels, and a plain label for comparison.
  for (int id : {1005, 1006}) {
    if (const HWND link = GetDlgItem(dialog, id)) out += CursorOver(link);
  }
  if (const HWND plain = GetDlgItem(dialog, -1)) out += CursorOver(plain);

  Boxes boxes{dialog, &out};
  EnumWindows(&ListOwnedDialogs, reinterpret_cast<LPARAM>(&boxes));
  return out;
}

void WriteBeside(const std::string& text) {
  char path[MAX_PATH];
  GetModuleFileNameA(g_self, path, MAX_PATH);
  const std::string out = std::string(path) + ".out";
  const std::string partial = out + ".partial";
  const HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExA(partial.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);
}

DWORD WINAPI ProbeThread(void*) {
  WriteBeside(Observe());
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
