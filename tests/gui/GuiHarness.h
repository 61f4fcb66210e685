//===- GuiHarness.h - Driving lexset's real window from another process --===//
//
// The driver starts the 64-bit build under Wine and works it as a user
// would, by posting the messages that keys and clicks produce, then checks
// what a user would see. Waits are bounded polls, never fixed sleeps.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/gui/Checks.h"

namespace gui {

// Where things are, from the command line.
struct Paths {
  std::string app;        // lexset.exe
  std::string probe;      // the probe DLL
  std::string link_host;  // the test program with link labels of its own
  std::string work;       // a scratch folder for source and result files
  std::string shell_log;  // what the shell recorder was asked to open
};
extern Paths g_paths;

// Polls `condition` every 20 ms for up to `ms` milliseconds.
bool WaitUntil(const std::function<bool()>& condition, int ms = 10000);

std::string WindowText(HWND window);
std::string ClassOf(HWND window);

// What the probe saw inside the program.
struct ProbeReport {
  struct Child {
    int id;
    std::string class_name;
    unsigned long style;
    RECT rect;  // pixels, in the dialog's client area
    std::string text;
  };
  struct MenuItem {
    unsigned id;
    unsigned state;
    std::string text;
  };
  struct Box {
    std::string icon;
    std::string caption;
    std::string text;
  };
  // The cursor a control set when told the mouse was over it.
  struct Cursor {
    int id = 0;
    unsigned long long handle = 0;
    bool icon = true;
    int hot_x = -1, hot_y = -1;
    bool colour = true;
    std::string and_plane, xor_plane;  // 32 rows of 4 bytes, top row first
  };
  bool ok = false;
  unsigned acp = 0;
  int base_x = 0;  // pixels in 4 horizontal dialog units
  int base_y = 0;  // pixels in 8 vertical dialog units
  std::vector<Child> children;
  // Icon handles inside the program: the window's big and small icons, the
  // drag icon, and the program's icon resource.
  unsigned long long icon_big = 0, icon_small = 0, icon_drag = 0, icon_app = 0;
  std::vector<MenuItem> system_menu;
  std::vector<Box> boxes;
  std::vector<Cursor> cursors;
};

// One running lexset process.
class App {
 public:
  App() = default;
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Starts the program and waits until its window is up and answering.
  bool Start();
  // The same for another program, whose window is the one with control
  // `marker`.
  bool Start(const std::string& exe, const std::string& arguments, int marker);
  HWND dialog() const { return dialog_; }
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  // A click on a button, as the mouse would make it.
  void Click(int id) const;
  // A key pressed while control `id` has the focus.
  void Key(int id, WPARAM key) const;
  // Types `text` into an edit box, replacing what was there.
  void Type(int id, const std::string& text) const;
  std::string Text(int id) const { return WindowText(Item(id)); }

  // The visible dialog owned by the main window (a message box or a file
  // dialog), waiting up to `ms` for one; null if none.
  HWND WaitForOwned(int ms = 10000) const;
  HWND Owned() const;
  // Presses OK in a message box and waits for it to go.
  bool DismissBox(HWND box) const;

  // Waits for the process to end; returns its exit code or -1.
  long WaitForExit(int ms = 10000);
  bool Running() const;

  ProbeReport Probe() const;

 private:
  PROCESS_INFORMATION process_{};
  HWND dialog_ = nullptr;
};

// What the shell recorder has been asked to open so far, a line each.
std::string ShellLog();

// Files, by Windows path.
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
void Remove(const std::string& path);
// Names in a folder, sorted.
std::vector<std::string> List(const std::string& folder);
// A fresh, empty folder under the work folder.
std::string FreshFolder(const std::string& name);

}  // namespace gui
