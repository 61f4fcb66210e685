//===- GuiTest.h - Working lexset's real window from another process -----===//
//
// The GUI tests start the program under Wine and work it as a user would,
// by posting the messages that keys and clicks make, then check what a user
// would see. Waits are bounded polls, never fixed sleeps. What shows only
// inside the program (its icons, system menu, cursors, the icon of a
// message box) a probe DLL loaded into it reports.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "res/resource.h"

namespace gui {

// Scratch folders, the shell's stand-in and what it was asked to open.
constexpr char kTestFolder[] = "C:\\lexset-test";

// The tests' texts are in code page 936, as the program's own, whatever
// the system's ANSI code page; they go to and come from the program in
// UTF-16. Typed paths are read back the same way.
std::string Cp936(const std::wstring& text);
std::wstring Wide(const std::string& cp936);

// The ANSI code page the tests run under: 936 unless the prefix is another
// (scripts/wine-env.sh).
UINT SystemCodePage();

// Polls `condition` every 20 ms for up to `ms` milliseconds.
bool WaitUntil(const std::function<bool()>& condition, int ms = 10000);
std::string WindowText(HWND window);
// The visible dialog owned by `owner` (a message box, file dialog or About
// box), or null.
HWND OwnedDialog(HWND owner);
// Posts a key's press and release to `window`, as if it had the focus.
void PressKey(HWND window, WPARAM key);

// One running lexset process, ended if still running when it goes.
class App {
 public:
  App() = default;
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Starts the program and waits until its window is up and answering.
  bool Start();
  HWND dialog() const { return dialog_; }
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  std::string Text(int id) const { return WindowText(Item(id)); }
  // A click on a button, as the mouse makes it.
  void Click(int id) const { PostMessageA(Item(id), BM_CLICK, 0, 0); }
  // Types `text` into an edit box, replacing what was there.
  void Type(int id, const std::string& text) const;
  // Waits up to `ms` for a dialog owned by the window; null if none came.
  HWND WaitForOwned(int ms = 10000) const;
  // Presses OK in a message box and waits for it to go.
  bool Dismiss(HWND box) const;
  // Waits for the process to end; returns its exit code or -1.
  long WaitForExit(int ms = 10000) const;
  bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
  // What the probe sees inside the program: the rest of each line of its
  // report, by the line's first word (see Probe.cpp).
  std::map<std::string, std::string> Probe() const;

 private:
  PROCESS_INFORMATION process_{};
  HWND dialog_ = nullptr;
};

// What the shell has been asked to open so far, a line each.
std::string ShellLog();
// Files, by Windows path.
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
// Names in a folder, sorted.
std::vector<std::string> List(const std::string& folder);
// A fresh, empty scratch folder named after the running test.
std::string FreshFolder();

}  // namespace gui
