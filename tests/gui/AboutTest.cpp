//===- AboutTest.cpp - The About entry of the system menu and its box ----===//
#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

#include "tests/gui/AboutDialogTable.h"
#include "tests/gui/GuiHarness.h"
#include "tests/gui/GuiTests.h"

namespace gui {
namespace {

// The About box, once the main window shows it.
HWND WaitForAbout(const App& app) {
  const HWND box = app.WaitForOwned();
  if (box != nullptr && WindowText(box) != kAboutCaption) return nullptr;
  return box;
}

// Closes the About box with `key` posted to its focused button, or with the
// button itself when `key` is 0, and checks that the main window is back.
void CloseAbout(const App& app, HWND box, WPARAM key) {
  if (key == 0) {
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  } else {
    PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, key, 1);
  }
  CHECK(WaitUntil([&] { return !IsWindow(box); }));
  CHECK(app.Running());
  CHECK(IsWindowEnabled(app.dialog()));
}

void SystemMenuEntry() {
  App app;
  if (!CHECK(app.Start())) return;
  const std::vector<ProbeReport::MenuItem> menu = app.Probe().system_menu;
  if (!CHECK(menu.size() >= 3)) return;
  // The system's own entries, then a separator and the About entry.
  const ProbeReport::MenuItem& separator = menu[menu.size() - 2];
  const ProbeReport::MenuItem& about = menu.back();
  CHECK(separator.state & MF_SEPARATOR);
  CHECK_EQ(about.id, kAboutCommand);
  CHECK_EQ(about.text, kAboutMenuText);
  CHECK_EQ(about.state & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED), 0u);
  bool has_close = false;
  for (const ProbeReport::MenuItem& item : menu) has_close = has_close || item.id == SC_CLOSE;
  CHECK(has_close);
}

void AboutBox() {
  App app;
  if (!CHECK(app.Start())) return;
  PostMessageA(app.dialog(), WM_SYSCOMMAND, kAboutCommand, 0);
  const HWND box = WaitForAbout(app);
  if (!CHECK(box != nullptr)) return;

  // Modal: the main window takes no input while the box is up.
  CHECK(!IsWindowEnabled(app.dialog()));
  const unsigned long style = GetWindowLongA(box, GWL_STYLE) & ~(WS_CLIPSIBLINGS | DS_3DLOOK | WS_VISIBLE);
  CHECK_EQ(style, kAboutStyle);

  const ProbeReport report = app.Probe();
  if (CHECK_EQ(report.boxes.size(), std::size_t{1})) {
    CHECK_EQ(report.boxes[0].caption, kAboutCaption);
    CHECK_EQ(report.boxes[0].icon, "app");
  }
  // The controls in template order, placed as the template says; the same
  // font as the main window's gives the same dialog units.
  std::size_t i = 0;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT), ++i) {
    if (!CHECK(i < std::size(kAboutControls))) break;
    const ControlRow& row = kAboutControls[i];
    // A classic template holds 16-bit identifiers: -1 reads back as 0xFFFF.
    CHECK_EQ(GetDlgCtrlID(child), row.id & 0xFFFF);
    CHECK_EQ(ClassOf(child), row.class_name);
    CHECK_EQ(static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)), WS_CHILD | WS_VISIBLE | row.style);
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&rect), 2);
    CHECK_EQ(rect.left, MulDiv(row.x, report.base_x, 4));
    CHECK_EQ(rect.top, MulDiv(row.y, report.base_y, 8));
    if (row.style == SS_ICON) continue;  // an icon static takes its icon's size
    CHECK_EQ(WindowText(child), row.text);
    CHECK_EQ(rect.right - rect.left, MulDiv(row.width, report.base_x, 4));
    CHECK_EQ(rect.bottom - rect.top, MulDiv(row.height, report.base_y, 8));
  }
  CHECK_EQ(i, std::size(kAboutControls));
  DWORD_PTR default_id = 0;
  SendMessageTimeoutA(box, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 5000, &default_id);
  CHECK_EQ(static_cast<int>(default_id), MAKELONG(IDOK, DC_HASDEFID));

  // OK closes it; so does Escape, each time a fresh box.
  CloseAbout(app, box, 0);
  PostMessageA(app.dialog(), WM_SYSCOMMAND, kAboutCommand, 0);
  const HWND again = WaitForAbout(app);
  if (!CHECK(again != nullptr)) return;
  CloseAbout(app, again, VK_ESCAPE);
  PostMessageA(app.dialog(), WM_SYSCOMMAND, kAboutCommand, 0);
  const HWND third = WaitForAbout(app);
  if (!CHECK(third != nullptr)) return;
  CloseAbout(app, third, VK_RETURN);
}

// The popup of a menu the program's thread is tracking.
bool MenuIsUp() {
  for (HWND w = FindWindowExA(nullptr, nullptr, "#32768", nullptr); w != nullptr;
       w = FindWindowExA(nullptr, w, "#32768", nullptr)) {
    if (IsWindowVisible(w)) return true;
  }
  return false;
}

void AboutFromKeyboard() {
  App app;
  if (!CHECK(app.Start())) return;
  // Alt+Space opens the system menu. Wine's own "About Wine" entry, above
  // the program's, would take A; Up from the top reaches the last entry.
  PostMessageA(app.dialog(), WM_SYSCOMMAND, SC_KEYMENU, ' ');
  CHECK(WaitUntil(&MenuIsUp));
  PostMessageA(app.dialog(), WM_KEYDOWN, VK_UP, 1);
  PostMessageA(app.dialog(), WM_KEYDOWN, VK_RETURN, 1);
  const HWND box = WaitForAbout(app);
  if (!CHECK(box != nullptr)) return;
  CloseAbout(app, box, VK_ESCAPE);
}

// Whether the program's thread is moving or sizing a window.
bool InMoveSize(const App& app) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(app.dialog(), nullptr), &info) && (info.flags & GUI_INMOVESIZE) != 0;
}

void OtherSystemCommands() {
  App app;
  if (!CHECK(app.Start())) return;
  // Move: the system puts the pointer on the caption and the window follows
  // the mouse until Enter.
  RECT before;
  GetWindowRect(app.dialog(), &before);
  PostMessageA(app.dialog(), WM_SYSCOMMAND, SC_MOVE, 0);
  if (!CHECK(WaitUntil([&] { return InMoveSize(app); }))) return;
  POINT grip;
  GetCursorPos(&grip);
  SetCursorPos(grip.x + 40, grip.y + 30);
  RECT after{};
  CHECK(WaitUntil([&] {
    GetWindowRect(app.dialog(), &after);
    return after.left != before.left;
  }));
  PostMessageA(app.dialog(), WM_KEYDOWN, VK_RETURN, 1);
  CHECK(WaitUntil([&] { return !InMoveSize(app); }));
  GetWindowRect(app.dialog(), &after);
  CHECK_EQ(after.left - before.left, 40L);
  CHECK_EQ(after.top - before.top, 30L);
  CHECK_EQ(after.right - after.left, before.right - before.left);
  CHECK(app.Running());
  CHECK(app.Owned() == nullptr);

  // Close, from the system menu, ends the program.
  PostMessageA(app.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
  CHECK_EQ(app.WaitForExit(), 0L);
}

}  // namespace

std::vector<TestGroup> AboutGroups() {
  return {
      {"about: system menu entry", &SystemMenuEntry},
      {"about: box, closed by OK and Escape", &AboutBox},
      {"about: Alt+Space, Up, Enter", &AboutFromKeyboard},
      {"about: move and close still work", &OtherSystemCommands},
  };
}

}  // namespace gui
