//===- GuiHarness.cpp - Working lexset's real window from another process ===//
//
// usage: lexset-gui-test LEXSET_EXE [GTEST_OPTIONS]   runs the GUI tests
//        lexset-gui-test --present [window | about | message | folder |
//                                   read-only | start-menu | CAPTION]
//                                                     for screenshots
//        lexset-gui-test --record TARGET              the shell's stand-in
//
// The test prefix names a copy of this program as the "open" command of
// http, https, mailto and .txt files (scripts/wine-prefix.reg), so the
// tests see what the shell was asked to open without starting anything.
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/gui/GuiTest.h"

namespace gui {
namespace {

std::string g_program;  // lexset.exe
std::string g_probe;    // the probe DLL, beside this program

BOOL CALLBACK VisitWindow(HWND window, LPARAM visit) {
  return !(*reinterpret_cast<const std::function<bool(HWND)>*>(visit))(window);
}

// The first visible top-level dialog for which `wanted` holds, or null.
// EnumWindows sees all windows as they were at the call, however many
// other programs' windows come and go meanwhile.
HWND FindDialog(const std::function<bool(HWND)>& wanted) {
  HWND found = nullptr;
  const std::function<bool(HWND)> visit = [&](HWND w) {
    char name[8] = "";
    GetClassNameA(w, name, sizeof name);
    return IsWindowVisible(w) && std::strcmp(name, "#32770") == 0 && wanted(w) && (found = w) != nullptr;
  };
  EnumWindows(&VisitWindow, reinterpret_cast<LPARAM>(&visit));
  return found;
}

// The screenshots' windows come from a program started beside the driver on
// a Wine server just started, maybe on a busy machine: they get longer than
// a test's.
constexpr int kPresentWaitMs = 120000;

// lexset's main window, of `process` or any, is the one with the path boxes.
HWND WaitForMainWindow(DWORD process, int ms = 30000) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        return (found = FindDialog([&](HWND w) {
                  DWORD owner = 0;
                  GetWindowThreadProcessId(w, &owner);
                  return (process == 0 || owner == process) && GetDlgItem(w, IDC_SOURCE_PATH) != nullptr;
                })) != nullptr;
      },
      ms);
  return found;
}

// Waits until `window` has handled what came before: it may be visible
// before WM_INITDIALOG has returned.
bool Answers(HWND window) {
  DWORD_PTR ignored;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored) != 0;
}

// Appends this program's command line to shell.log beside it.
int Record() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::ofstream log(std::filesystem::path(self).replace_filename("shell.log"), std::ios::binary | std::ios::app);
  log << GetCommandLineA() << "\r\n";
  return log.good() ? 0 : 1;
}

// Opens the taskbar's start menu and in it the Programs folder, as a user
// looking for a program does, and prints the place of the taskbar and the
// menus together.
int PresentStartMenu() {
  GetDesktopWindow();  // under Wine, starts the desktop and its taskbar
  HWND tray = nullptr;
  HWND start = nullptr;
  // The start button is the taskbar's button with ID 0; the others carry
  // their windows' handles.
  WaitUntil(
      [&] {
        tray = FindWindowA("Shell_TrayWnd", nullptr);
        return tray != nullptr && (start = GetDlgItem(tray, 0)) != nullptr && IsWindowVisible(start);
      },
      kPresentWaitMs);
  if (start == nullptr) return 1;
  RECT shown;
  GetWindowRect(tray, &shown);
  const auto open_menus = [&shown] {
    int count = 0;
    for (HWND menu = nullptr; (menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) != nullptr;) {
      if (!IsWindowVisible(menu)) continue;
      RECT rect;
      GetWindowRect(menu, &rect);
      UnionRect(&shown, &shown, &rect);
      ++count;
    }
    return count;
  };
  PostMessageA(start, BM_CLICK, 0, 0);
  if (!WaitUntil([&] { return open_menus() == 1; })) return 1;
  // The menu takes keys from its thread's queue: Down selects its first
  // entry, the Programs folder, and Right opens it.
  const HWND menu = FindWindowA("#32768", nullptr);
  PressKey(menu, VK_DOWN);
  PressKey(menu, VK_RIGHT);
  if (!WaitUntil([&] { return open_menus() == 2; })) return 1;
  Sleep(300);  // for the menus to reach the screen
  std::printf("%ldx%ld+%ld+%ld\n", shown.right - shown.left, shown.bottom - shown.top, shown.left, shown.top);
  return 0;
}

// Starts a job that the program refuses with the message `what` names: a
// source that is not there ("message"), a result that is a folder
// ("folder") or a read-only file ("read-only"). The paths are in the ANSI
// code pages 936 and 1252 alike.
void StartRefusedJob(HWND window, const std::string& what) {
  CreateDirectoryW(L"C:\\lexset-test", nullptr);
  const wchar_t* source = L"C:\\lexset-test\\café.txt";
  const wchar_t* result = L"C:\\lexset-test\\result.txt";
  if (what != "message") {
    source = L"C:\\lexset-test\\words.txt";
    WriteAll("C:\\lexset-test\\words.txt", "b a");
  }
  if (what == "folder") result = L"C:\\lexset-test";
  if (what == "read-only") {
    result = L"C:\\lexset-test\\read-only.txt";
    SetFileAttributesW(result, FILE_ATTRIBUTE_NORMAL);
    WriteAll("C:\\lexset-test\\read-only.txt", "a\r\nb\r\n");
    SetFileAttributesW(result, FILE_ATTRIBUTE_READONLY);
  }
  SetDlgItemTextW(window, IDC_SOURCE_PATH, source);
  SetDlgItemTextW(window, IDC_RESULT_PATH, result);
  PostMessageA(window, WM_COMMAND, IDOK, 0);
}

// Makes a window the active one and prints its place as "WIDTHxHEIGHT+X+Y"
// for the screenshot tool: lexset's window ("window" or nothing), its About
// box ("about"), a message that refuses a job (see StartRefusedJob), or the
// top-level window with the caption given. No X window has the focus on a
// virtual display, so the caption would stay grey.
int Present(const std::string& what) {
  if (what == "start-menu") return PresentStartMenu();
  const bool message = what == "message" || what == "folder" || what == "read-only";
  HWND window = nullptr;
  if (what.empty() || what == "window" || what == "about" || message) {
    window = WaitForMainWindow(0, kPresentWaitMs);
  } else {
    WaitUntil([&] { return (window = FindWindowA(nullptr, what.c_str())) != nullptr && IsWindowVisible(window); },
              kPresentWaitMs);
  }
  if (window == nullptr || !Answers(window)) return 1;
  SetForegroundWindow(GetDesktopWindow());
  Sleep(100);
  SetForegroundWindow(window);
  if (what == "about") PostMessageA(window, WM_SYSCOMMAND, IDM_ABOUT, 0);
  if (message) StartRefusedJob(window, what);
  if (what == "about" || message) {
    const HWND owner = window;
    if (!WaitUntil([&] { return (window = OwnedDialog(owner)) != nullptr; }, kPresentWaitMs) || !Answers(window)) {
      return 1;
    }
  }
  DWORD_PTR ignored;
  SendMessageTimeoutA(window, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  Sleep(300);  // for the frame to reach the screen
  RECT rect;
  GetWindowRect(window, &rect);
  std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
  return 0;
}

}  // namespace

UINT SystemCodePage() {
  const char* code_page = std::getenv("LEXSET_WINE_CODE_PAGE");
  return code_page != nullptr ? static_cast<UINT>(std::atoi(code_page)) : 936;
}

bool WaitUntil(const std::function<bool()>& condition, int ms) {
  for (const DWORD start = GetTickCount(); !condition(); Sleep(20)) {
    if (GetTickCount() - start > static_cast<DWORD>(ms)) return false;
  }
  return true;
}

std::string Cp936(const std::wstring& text) {
  std::string narrow(text.size() * 2, '\0');
  narrow.resize(WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), &narrow[0],
                                    static_cast<int>(narrow.size()), nullptr, nullptr));
  return narrow;
}

std::wstring Wide(const std::string& cp936) {
  std::wstring wide(cp936.size(), L'\0');
  wide.resize(MultiByteToWideChar(936, 0, cp936.data(), static_cast<int>(cp936.size()), &wide[0],
                                  static_cast<int>(wide.size())));
  return wide;
}

std::string WindowText(HWND window) {
  wchar_t text[8192];
  DWORD_PTR size = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                           &size)) {
    return "<no answer>";
  }
  return Cp936(std::wstring(text, size));
}

HWND OwnedDialog(HWND owner) {
  return FindDialog([&](HWND w) { return GetWindow(w, GW_OWNER) == owner; });
}

void PressKey(HWND window, WPARAM key) {
  PostMessageA(window, WM_KEYDOWN, key, 1);
  PostMessageA(window, WM_KEYUP, key, 1 | (3u << 30));
}

App::~App() {
  if (process_.hProcess == nullptr) return;
  if (Running()) TerminateProcess(process_.hProcess, 99);
  WaitForSingleObject(process_.hProcess, 5000);
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
}

bool App::Start() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string command = "\"" + g_program + "\"";
  if (!CreateProcessA(g_program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process_)) {
    ADD_FAILURE() << "cannot start " << g_program << ": error " << GetLastError();
    return false;
  }
  dialog_ = WaitForMainWindow(process_.dwProcessId);
  return dialog_ != nullptr && Answers(dialog_);
}

void App::Type(int id, const std::string& text) const {
  DWORD_PTR ignored;
  SendMessageTimeoutW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()), SMTO_ABORTIFHUNG, 5000,
                      &ignored);
}

HWND App::WaitForOwned(int ms) const {
  HWND found = nullptr;
  if (WaitUntil([&] { return (found = OwnedDialog(dialog_)) != nullptr; }, ms)) Answers(found);
  return found;
}

bool App::Dismiss(HWND box) const {
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return WaitUntil([&] { return !IsWindow(box); });
}

long App::WaitForExit(int ms) const {
  DWORD code = 0;
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) return -1;
  GetExitCodeProcess(process_.hProcess, &code);
  return static_cast<long>(code);
}

std::map<std::string, std::string> App::Probe() const {
  const std::string out = g_probe + ".out";
  DeleteFileA(out.c_str());
  // The system loads the probe into the program to run its hook on the
  // window's thread, which the posted message then sets off.
  const HMODULE probe = LoadLibraryA(g_probe.c_str());
  const auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(probe, "ProbeHook")));
  const HHOOK hooked = SetWindowsHookExA(WH_GETMESSAGE, hook, probe, GetWindowThreadProcessId(dialog_, nullptr));
  PostMessageA(dialog_, RegisterWindowMessageA("lexset-probe"), 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(out); })) << "the probe wrote no report";
  UnhookWindowsHookEx(hooked);
  FreeLibrary(probe);
  std::map<std::string, std::string> report;
  std::istringstream lines(ReadAll(out));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t space = std::min(line.find(' '), line.size());
    report[line.substr(0, space)] = line.substr(std::min(space + 1, line.size()));
  }
  return report;
}

std::string ShellLog() { return ReadAll(std::string(kTestFolder) + "\\shell.log"); }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  EXPECT_TRUE(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).good()) << "cannot write " << path;
}

std::vector<std::string> List(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string FreshFolder() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  std::replace(name.begin(), name.end(), '/', '-');
  const std::string folder = std::string(kTestFolder) + "\\" + name;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ignored)) {
    SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only ones too
  }
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace gui

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--record") == 0) return gui::Record();
  if (argc > 1 && std::strcmp(argv[1], "--present") == 0) {
    return gui::Present(argc > 2 ? argv[2] : "");
  }
  testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: lexset-gui-test LEXSET_EXE [GTEST_OPTIONS]\n");
    return 2;
  }
  // The A functions' full path, as they take it: through std::filesystem a
  // path with Chinese characters in the ANSI code page comes back garbled.
  char program[MAX_PATH];
  const DWORD length = GetFullPathNameA(argv[1], MAX_PATH, program, nullptr);
  if (length == 0 || length >= MAX_PATH) return 2;
  gui::g_program = program;
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  gui::g_probe = std::filesystem::path(self).replace_filename("lexset-probe.dll").string();
  // The shell's stand-in, where the prefix's open commands name it, with an
  // empty log.
  const std::filesystem::path folder = gui::kTestFolder;
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(self, folder / "lexset-gui-test.exe", std::filesystem::copy_options::overwrite_existing);
  std::filesystem::remove(folder / "shell.log");
  return RUN_ALL_TESTS();
}
