//===- GuiHarness.cpp - Driving lexset's real window from another process ===//
#include "tests/gui/GuiHarness.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "tests/gui/ProbeFormat.h"

namespace gui {

Paths g_paths;

namespace {

struct FindDialog {
  DWORD process;
  int marker;
  HWND dialog;
};

BOOL CALLBACK FindMainDialog(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindDialog*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == find->process && IsWindowVisible(window) && GetDlgItem(window, find->marker) != nullptr) {
    find->dialog = window;
    return FALSE;
  }
  return TRUE;
}

struct FindOwned {
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindOwned*>(param);
  if (GetWindow(window, GW_OWNER) == find->owner && IsWindowVisible(window) && ClassOf(window) == "#32770") {
    find->found = window;
    return FALSE;
  }
  return TRUE;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; in >> field;) fields.push_back(field);
  return fields;
}

// The value of "key=value" among `fields`.
std::string Field(const std::vector<std::string>& fields, const std::string& key) {
  for (const std::string& f : fields) {
    if (f.compare(0, key.size() + 1, key + "=") == 0) return f.substr(key.size() + 1);
  }
  return std::string();
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, int ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start > static_cast<DWORD>(ms)) return false;
    Sleep(20);
  }
}

std::string WindowText(HWND window) {
  char text[8192];
  DWORD_PTR size = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                           &size)) {
    return "<no answer>";
  }
  return std::string(text, size);
}

std::string ClassOf(HWND window) {
  char name[256];
  const int size = GetClassNameA(window, name, sizeof name);
  return std::string(name, size > 0 ? static_cast<std::size_t>(size) : 0);
}

App::~App() {
  if (process_.hProcess != nullptr) {
    if (Running()) TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
}

bool App::Start() { return Start(g_paths.app, "", 1001); }

bool App::Start(const std::string& exe, const std::string& arguments, int marker) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string command = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_)) {
    std::printf("  cannot start %s: error %lu\n", exe.c_str(), GetLastError());
    return false;
  }
  FindDialog find{process_.dwProcessId, marker, nullptr};
  const bool found = WaitUntil(
      [&] {
        EnumWindows(&FindMainDialog, reinterpret_cast<LPARAM>(&find));
        return find.dialog != nullptr;
      },
      30000);
  if (!found) return false;
  dialog_ = find.dialog;
  // The window may become visible before WM_INITDIALOG has returned; a
  // message that goes through its queue tells when it has.
  DWORD_PTR ignored;
  return SendMessageTimeoutA(dialog_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored) != 0;
}

void App::Click(int id) const { PostMessageA(Item(id), BM_CLICK, 0, 0); }

void App::Key(int id, WPARAM key) const {
  PostMessageA(Item(id), WM_KEYDOWN, key, 1);
  PostMessageA(Item(id), WM_KEYUP, key, 1 | (3u << 30));
}

void App::Type(int id, const std::string& text) const {
  DWORD_PTR ignored;
  SendMessageTimeoutA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                      &ignored);
}

HWND App::Owned() const {
  FindOwned find{dialog_, nullptr};
  EnumWindows(&FindOwnedDialog, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

HWND App::WaitForOwned(int ms) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = Owned()) != nullptr; }, ms);
  if (found != nullptr) {
    DWORD_PTR ignored;
    SendMessageTimeoutA(found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
  }
  return found;
}

bool App::DismissBox(HWND box) const {
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  return WaitUntil([&] { return !IsWindow(box); });
}

long App::WaitForExit(int ms) {
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return static_cast<long>(code);
}

bool App::Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

ProbeReport App::Probe() const {
  ProbeReport report;
  const std::string out = g_paths.probe + ".out";
  DeleteFileA(out.c_str());

  // Loads the probe into the program with a thread of its own there.
  const std::string& dll = g_paths.probe;
  void* remote = VirtualAllocEx(process_.hProcess, nullptr, dll.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote == nullptr) return report;
  WriteProcessMemory(process_.hProcess, remote, dll.c_str(), dll.size() + 1, nullptr);
  const FARPROC load = GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA");
  const auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(load));
  const HANDLE thread = CreateRemoteThread(process_.hProcess, nullptr, 0, start, remote, 0, nullptr);
  if (thread != nullptr) {
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
  }
  const bool written = WaitUntil([&] { return Exists(out); });
  VirtualFreeEx(process_.hProcess, remote, 0, MEM_RELEASE);
  if (!written) return report;

  std::istringstream lines(ReadAll(out));
  for (std::string line; std::getline(lines, line);) {
    const auto fields = Fields(line);
    if (fields.empty()) continue;
    if (line.rfind("acp=", 0) == 0) {
      report.acp = static_cast<unsigned>(std::stoul(Field(fields, "acp")));
    } else if (line.rfind("dialog=", 0) == 0) {
      std::sscanf(Field(fields, "base").c_str(), "%d,%d", &report.base_x, &report.base_y);
      report.ok = true;
    } else if (fields[0] == "child") {
      ProbeReport::Child child{};
      child.id = std::stoi(Field(fields, "id"));
      child.class_name = Field(fields, "class");
      child.style = std::stoul(Field(fields, "style"), nullptr, 16);
      std::sscanf(Field(fields, "rect").c_str(), "%ld,%ld,%ld,%ld", &child.rect.left, &child.rect.top,
                  &child.rect.right, &child.rect.bottom);
      child.text = probe::Unhex(Field(fields, "text"));
      report.children.push_back(child);
    } else if (fields[0] == "icons") {
      report.icon_big = std::stoull(Field(fields, "big"), nullptr, 16);
      report.icon_small = std::stoull(Field(fields, "small"), nullptr, 16);
      report.icon_drag = std::stoull(Field(fields, "drag"), nullptr, 16);
      report.icon_app = std::stoull(Field(fields, "app"), nullptr, 16);
    } else if (fields[0] == "sysmenu") {
      report.system_menu.push_back({static_cast<unsigned>(std::stoul(Field(fields, "id"))),
                                    static_cast<unsigned>(std::stoul(Field(fields, "state"), nullptr, 16)),
                                    probe::Unhex(Field(fields, "text"))});
    } else if (fields[0] == "cursor") {
      ProbeReport::Cursor cursor;
      cursor.id = std::stoi(Field(fields, "id"));
      cursor.handle = std::stoull(Field(fields, "handle"), nullptr, 16);
      cursor.icon = Field(fields, "icon") != "0";
      std::sscanf(Field(fields, "hot").c_str(), "%d,%d", &cursor.hot_x, &cursor.hot_y);
      cursor.colour = Field(fields, "colour") != "0";
      cursor.and_plane = probe::Unhex(Field(fields, "and"));
      cursor.xor_plane = probe::Unhex(Field(fields, "xor"));
      report.cursors.push_back(cursor);
    } else if (line.rfind("box=", 0) == 0) {
      report.boxes.push_back(
          {Field(fields, "icon"), probe::Unhex(Field(fields, "caption")), probe::Unhex(Field(fields, "text"))});
    }
  }
  return report;
}

std::string ShellLog() {
  const std::string log = ReadAll(g_paths.shell_log);
  return log == "<missing>" ? std::string() : log;
}

std::string ReadAll(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (file != INVALID_HANDLE_VALUE) {
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }
  if (written != bytes.size()) std::printf("  cannot write %s\n", path.c_str());
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Remove(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

std::vector<std::string> List(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::string FreshFolder(const std::string& name) {
  const std::string folder = g_paths.work + "\\" + name;
  for (const std::string& entry : List(folder)) {
    const std::string path = folder + "\\" + entry;
    if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
      for (const std::string& inner : List(path)) Remove(path + "\\" + inner);
      RemoveDirectoryA(path.c_str());
    } else {
      Remove(path);
    }
  }
  CreateDirectoryA(g_paths.work.c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

}  // namespace gui
