//===- MainDialogTest.cpp - The main window, as a user sees and works it -===//
#include <windows.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tests/gui/GuiHarness.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/MainDialogTable.h"

namespace gui {
namespace {

constexpr char kCaption[] = "QEMI词表整理工具";
constexpr char kEmptyPaths[] = "待处理文件或者结果文件名不能为空。\r\n请选择或者输入待处理文件或者结果文件。";
constexpr char kCompleted[] = "处理完毕。";
constexpr char kEmptyResult[] = "结果文件名不能为空。\r\n请先生成结果文件。";

HWND FocusOf(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
  return info.hwndFocus;
}

std::string BoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

// The only message box up, as the probe saw it.
ProbeReport::Box ProbedBox(const App& app) {
  const ProbeReport report = app.Probe();
  CHECK_EQ(static_cast<int>(report.boxes.size()), 1);
  return report.boxes.empty() ? ProbeReport::Box{} : report.boxes[0];
}

// Presses Start and returns the text of the message box that answers, having
// checked its caption and icon and dismissed it.
std::string StartAndRead(const App& app, const char* expected_icon) {
  app.Click(IDOK);
  const HWND box = app.WaitForOwned();
  if (!CHECK(box != nullptr)) return std::string();
  const ProbeReport::Box probed = ProbedBox(app);
  CHECK_EQ(probed.caption, kCaption);
  CHECK_EQ(probed.icon, expected_icon);
  const std::string text = BoxText(box);
  CHECK(app.DismissBox(box));
  return text;
}

bool NoTemporaryFiles(const std::string& folder) {
  for (const std::string& name : List(folder)) {
    if (name.rfind(".~lexset-", 0) == 0) return false;
  }
  return true;
}

void WindowAndControls() {
  CHECK_EQ(GetACP(), 936u);
  App app;
  if (!CHECK(app.Start())) return;
  const HWND dialog = app.dialog();
  CHECK_EQ(WindowText(dialog), kMainCaption);

  // The system adds WS_CLIPSIBLINGS and DS_3DLOOK to every dialog.
  const unsigned long style = GetWindowLongA(dialog, GWL_STYLE) & ~(WS_CLIPSIBLINGS | DS_3DLOOK);
  CHECK_EQ(style,
           static_cast<unsigned long>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
  CHECK(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);

  const ProbeReport report = app.Probe();
  CHECK(report.ok);
  CHECK_EQ(report.acp, 936u);
  const std::size_t count = std::size(kControls);
  if (!CHECK_EQ(report.children.size(), count)) return;
  for (std::size_t i = 0; i < count; ++i) {
    const ControlRow& row = kControls[i];
    const ProbeReport::Child& child = report.children[i];
    const std::string which = " (control " + std::to_string(i) + ")";
    CHECK_EQ(child.id, row.id);
    CHECK_EQ(child.class_name, row.class_name);
    CHECK_EQ(child.text, row.text);
    // In a dialog with the 3-D look an edit box's border becomes a sunken
    // client edge.
    unsigned long expected = WS_CHILD | WS_VISIBLE | row.style;
    if (row.style & WS_BORDER && std::strcmp(row.class_name, "Edit") == 0) expected &= ~WS_BORDER;
    // A label that became a link tells its parent of clicks.
    if (row.id == kWebsiteLink || row.id == kEmailLink) expected |= SS_NOTIFY;
    CHECK_EQ(child.style, expected);
    // Dialog units become pixels position and size apart, as the system
    // does when it creates the controls.
    CHECK_EQ(child.rect.left, MulDiv(row.x, report.base_x, 4));
    CHECK_EQ(child.rect.top, MulDiv(row.y, report.base_y, 8));
    CHECK_EQ(child.rect.right - child.rect.left, MulDiv(row.width, report.base_x, 4));
    CHECK_EQ(child.rect.bottom - child.rect.top, MulDiv(row.height, report.base_y, 8));
  }
  for (int id : {kSourcePath, kResultPath}) CHECK(GetWindowLongA(app.Item(id), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);

  DWORD_PTR default_id = 0;
  SendMessageTimeoutA(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 5000, &default_id);
  CHECK_EQ(static_cast<int>(default_id), MAKELONG(IDOK, DC_HASDEFID));

  // The big and small icons and the drag icon are the program's one icon.
  CHECK(report.icon_app != 0);
  CHECK_EQ(report.icon_big, report.icon_app);
  CHECK_EQ(report.icon_small, report.icon_app);
  CHECK_EQ(report.icon_drag, report.icon_app);
}

void TabOrder() {
  App app;
  if (!CHECK(app.Start())) return;
  // Start has the focus first; Tab then visits the controls in template
  // order, skipping the labels and the group box, and comes back round.
  const int order[] = {IDOK, IDCANCEL, kBrowseSource, kSourcePath, kResultPath, kBrowseResult, kOpenResult, IDOK};
  CHECK_EQ(GetDlgCtrlID(FocusOf(app.dialog())), IDOK);
  for (std::size_t i = 1; i < sizeof order / sizeof order[0]; ++i) {
    const HWND from = FocusOf(app.dialog());
    PostMessageA(from, WM_KEYDOWN, VK_TAB, 1);
    CHECK(WaitUntil([&] { return GetDlgCtrlID(FocusOf(app.dialog())) == order[i]; }, 5000));
  }
}

void StartWithEmptyPaths() {
  const std::string folder = FreshFolder("empty-paths");
  WriteAll(folder + "\\source.txt", "b a");
  App app;
  if (!CHECK(app.Start())) return;
  CHECK_EQ(StartAndRead(app, "exclamation"), kEmptyPaths);
  app.Type(kSourcePath, folder + "\\source.txt");
  CHECK_EQ(StartAndRead(app, "exclamation"), kEmptyPaths);
  app.Type(kSourcePath, "");
  app.Type(kResultPath, folder + "\\result.txt");
  CHECK_EQ(StartAndRead(app, "exclamation"), kEmptyPaths);
  CHECK_EQ(List(folder), std::vector<std::string>{"source.txt"});
}

void StartRunsTheJob() {
  const std::string folder = FreshFolder("start");
  const std::string source = folder + "\\source.txt";
  const std::string result = folder + "\\result.txt";
  WriteAll(source, "b a b\r\nA \xd6\xd0\xce\xc4 a");
  const std::string expected = "A\r\na\r\nb\r\n\xd6\xd0\xce\xc4\r\n";
  App app;
  if (!CHECK(app.Start())) return;
  app.Type(kSourcePath, source);
  app.Type(kResultPath, result);

  // Enter in an edit box presses the default button, Start.
  for (int id : {kSourcePath, kResultPath}) {
    Remove(result);
    app.Key(id, VK_RETURN);
    const HWND box = app.WaitForOwned();
    if (!CHECK(box != nullptr)) return;
    CHECK_EQ(BoxText(box), kCompleted);
    // While the notice is up the result is already complete and in place.
    CHECK_EQ(ReadAll(result), expected);
    CHECK(NoTemporaryFiles(folder));
    const ProbeReport::Box probed = ProbedBox(app);
    CHECK_EQ(probed.icon, "information");
    CHECK_EQ(probed.caption, kCaption);
    CHECK(app.DismissBox(box));
  }

  // A second Start runs again, over the result of the first.
  WriteAll(source, "z y x");
  CHECK_EQ(StartAndRead(app, "information"), kCompleted);
  CHECK_EQ(ReadAll(result), "x\r\ny\r\nz\r\n");
  // The dialog stays open and keeps both paths.
  CHECK(app.Running());
  CHECK_EQ(app.Text(kSourcePath), source);
  CHECK_EQ(app.Text(kResultPath), result);
  CHECK_EQ(List(folder), (std::vector<std::string>{"result.txt", "source.txt"}));

  // Source and result may be the same file.
  app.Type(kResultPath, source);
  CHECK_EQ(StartAndRead(app, "information"), kCompleted);
  CHECK_EQ(ReadAll(source), "x\r\ny\r\nz\r\n");
}

void ProblemsLeaveFilesAsTheyWere() {
  const std::string folder = FreshFolder("problems");
  const std::string source = folder + "\\source.txt";
  const std::string result = folder + "\\result.txt";
  WriteAll(source, "b a");
  WriteAll(result, "precious");
  App app;
  if (!CHECK(app.Start())) return;

  // A source that does not exist.
  app.Type(kSourcePath, folder + "\\missing.txt");
  app.Type(kResultPath, result);
  std::string text = StartAndRead(app, "exclamation");
  CHECK_EQ(text.substr(0, text.find("\r\n")), "无法打开待处理文件“" + folder + "\\missing.txt”。");
  CHECK(text.find("结果文件未作任何改动。") != std::string::npos);
  CHECK_EQ(ReadAll(result), "precious");

  // A result in a folder that does not exist.
  app.Type(kSourcePath, source);
  app.Type(kResultPath, folder + "\\no such folder\\result.txt");
  text = StartAndRead(app, "exclamation");
  CHECK_EQ(text.substr(0, text.find("\r\n")), "无法写入结果文件“" + folder + "\\no such folder\\result.txt”。");

  // A read-only result, and a result that is a folder.
  SetFileAttributesA(result.c_str(), FILE_ATTRIBUTE_READONLY);
  app.Type(kResultPath, result);
  text = StartAndRead(app, "exclamation");
  CHECK(text.rfind("无法写入结果文件“", 0) == 0);
  SetFileAttributesA(result.c_str(), FILE_ATTRIBUTE_NORMAL);
  CHECK_EQ(ReadAll(result), "precious");
  CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
  app.Type(kResultPath, folder + "\\sub");
  text = StartAndRead(app, "exclamation");
  CHECK(text.rfind("无法写入结果文件“", 0) == 0);

  CHECK_EQ(List(folder), (std::vector<std::string>{"result.txt", "source.txt", "sub"}));
  CHECK(List(folder + "\\sub").empty());
}

// The visible file dialog's filename box and file type list.
HWND FileNameEdit(HWND dialog) {
  const HWND combo = GetDlgItem(dialog, 1148);  // cmb13
  HWND edit = combo != nullptr ? FindWindowExA(combo, nullptr, "ComboBox", nullptr) : nullptr;
  edit = edit != nullptr ? FindWindowExA(edit, nullptr, "Edit", nullptr) : nullptr;
  return edit != nullptr ? edit : GetDlgItem(dialog, 1152);  // edt1
}

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  DWORD_PTR count = 0;
  SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
  for (DWORD_PTR i = 0; i < count; ++i) {
    // Asked in UTF-16: Wine hands a list item across processes as the
    // combo box stores it.
    wchar_t wide[256] = L"";
    DWORD_PTR size = 0;
    SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide), SMTO_ABORTIFHUNG, 5000, &size);
    char text[512];
    const int n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(size), text, sizeof text, nullptr, nullptr);
    items.emplace_back(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  }
  return items;
}

// Picks `path` in the file dialog opened by button `browse`.
void ChooseFile(const App& app, int browse, const std::string& path) {
  app.Click(browse);
  const HWND dialog = app.WaitForOwned();
  if (!CHECK(dialog != nullptr)) return;
  const HWND name = FileNameEdit(dialog);
  if (!CHECK(name != nullptr)) return;
  DWORD_PTR ignored;
  SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG, 5000, &ignored);
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  CHECK(WaitUntil([&] { return !IsWindow(dialog); }));
}

void Browse() {
  const std::string folder = FreshFolder("browse");
  const std::string source = folder + "\\words.txt";
  const std::string result = folder + "\\sorted.txt";
  WriteAll(source, "b a");
  WriteAll(result, "");
  App app;
  if (!CHECK(app.Start())) return;

  // The Open dialog, with the three filters and the read-only check box.
  app.Click(kBrowseSource);
  HWND dialog = app.WaitForOwned();
  if (!CHECK(dialog != nullptr)) return;
  const HWND types = GetDlgItem(dialog, 1136);  // cmb1
  CHECK_EQ(ComboItems(types), (std::vector<std::string>{"Text File (*.txt)", "Word File (*.doc)", "All Files (*.*)"}));
  DWORD_PTR selected = 99;
  SendMessageTimeoutA(types, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &selected);
  CHECK_EQ(static_cast<int>(selected), 0);
  CHECK(IsWindowVisible(GetDlgItem(dialog, 1040)));  // chx1, "open as read-only"
  // Cancelling changes nothing.
  app.Type(kSourcePath, "typed by hand");
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  CHECK(WaitUntil([&] { return !IsWindow(dialog); }));
  CHECK_EQ(app.Text(kSourcePath), "typed by hand");

  // Choosing a file puts its full path in the box of its own button.
  ChooseFile(app, kBrowseSource, source);
  CHECK_EQ(app.Text(kSourcePath), source);
  CHECK_EQ(app.Text(kResultPath), "");
  ChooseFile(app, kBrowseResult, result);
  CHECK_EQ(app.Text(kResultPath), result);

  // Only existing files can be chosen: the dialog complains and stays.
  app.Click(kBrowseResult);
  dialog = app.WaitForOwned();
  if (!CHECK(dialog != nullptr)) return;
  DWORD_PTR ignored;
  const std::string missing = folder + "\\new.txt";
  SendMessageTimeoutA(FileNameEdit(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(missing.c_str()), SMTO_ABORTIFHUNG,
                      5000, &ignored);
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  HWND complaint = nullptr;
  CHECK(WaitUntil([&] {
    complaint = FindWindowExA(nullptr, nullptr, "#32770", nullptr);
    while (complaint != nullptr && !(GetWindow(complaint, GW_OWNER) == dialog && IsWindowVisible(complaint))) {
      complaint = FindWindowExA(nullptr, complaint, "#32770", nullptr);
    }
    return complaint != nullptr;
  }));
  if (complaint != nullptr) PostMessageA(complaint, WM_COMMAND, IDOK, 0);
  CHECK(WaitUntil([&] { return complaint == nullptr || !IsWindow(complaint); }));
  CHECK(IsWindow(dialog));
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  CHECK(WaitUntil([&] { return !IsWindow(dialog); }));
  CHECK_EQ(app.Text(kResultPath), result);

  // A chosen path edited by hand is used as edited.
  const std::string edited = folder + "\\edited.txt";
  app.Type(kResultPath, edited);
  CHECK_EQ(StartAndRead(app, "information"), kCompleted);
  CHECK_EQ(ReadAll(edited), "a\r\nb\r\n");
  CHECK_EQ(ReadAll(result), "");
}

void OpenResultFile() {
  const std::string folder = FreshFolder("open");
  const std::string source = folder + "\\source.txt";
  const std::string result = folder + "\\result.txt";
  WriteAll(source, "b a");
  App app;
  if (!CHECK(app.Start())) return;

  app.Click(kOpenResult);
  HWND box = app.WaitForOwned();
  if (!CHECK(box != nullptr)) return;
  CHECK_EQ(BoxText(box), kEmptyResult);
  CHECK_EQ(ProbedBox(app).icon, "exclamation");
  CHECK_EQ(WindowText(box), kCaption);
  CHECK(app.DismissBox(box));

  // After a job, the result is handed to the shell to open.
  app.Type(kSourcePath, source);
  app.Type(kResultPath, result);
  CHECK_EQ(StartAndRead(app, "information"), kCompleted);
  const std::size_t before = ShellLog().size();
  app.Click(kOpenResult);
  CHECK(WaitUntil([&] { return ShellLog().find(result, before) != std::string::npos; }));
  CHECK(app.Owned() == nullptr);

  // The box is read afresh: emptied, it is refused again.
  app.Type(kResultPath, "");
  app.Click(kOpenResult);
  box = app.WaitForOwned();
  if (!CHECK(box != nullptr)) return;
  CHECK_EQ(BoxText(box), kEmptyResult);
  CHECK(app.DismissBox(box));

  // A file that does not exist: the shell fails quietly.
  app.Type(kResultPath, folder + "\\missing.txt");
  app.Click(kOpenResult);
  Sleep(1500);
  CHECK(app.Owned() == nullptr);
  CHECK(ShellLog().find("missing.txt") == std::string::npos);
  CHECK(app.Running());
}

void ExitEndsTheProgram() {
  {
    App app;
    if (CHECK(app.Start())) {
      app.Key(kSourcePath, VK_ESCAPE);
      CHECK_EQ(app.WaitForExit(), 0L);
    }
  }
  {
    App app;
    if (CHECK(app.Start())) {
      PostMessageA(app.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
      CHECK_EQ(app.WaitForExit(), 0L);
    }
  }
  {
    App app;
    if (CHECK(app.Start())) {
      app.Click(IDCANCEL);
      CHECK_EQ(app.WaitForExit(), 0L);
    }
  }
}

}  // namespace

std::vector<TestGroup> MainDialogGroups() {
  return {
      {"main window: caption, controls, layout", &WindowAndControls},
      {"main window: tab order", &TabOrder},
      {"start: empty paths", &StartWithEmptyPaths},
      {"start: enter runs the job", &StartRunsTheJob},
      {"start: problems leave files alone", &ProblemsLeaveFilesAsTheyWere},
      {"browse: file dialog", &Browse},
      {"open result file", &OpenResultFile},
      {"exit: escape, close box, exit button", &ExitEndsTheProgram},
  };
}

}  // namespace gui
