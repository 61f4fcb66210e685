//===- WindowTest.cpp - The main window and the About box, as a user works them ===//
#include <shlobj.h>

#include <ostream>
#include <string>
#include <vector>

#include "res/Version.h"
#include "tests/gui/GuiTest.h"

namespace gui {
namespace {

constexpr char kMessageCaption[] = "QEMI词表整理工具";
constexpr char kEmptyPaths[] = "待处理文件或者结果文件名不能为空。\r\n请选择或者输入待处理文件或者结果文件。";
constexpr char kCompleted[] = "处理完毕。";
constexpr char kEmptyResult[] = "结果文件名不能为空。\r\n请先生成结果文件。";
constexpr char kUntouched[] = "结果文件未作任何改动。";
constexpr char kNotCreated[] = "未创建结果文件。";

// A control as the user sees it; a window's controls in tab order.
struct Control {
  int id;
  const char* text;  // null: not text (an icon)
};

const Control kMainControls[] = {{IDOK, "开始处理"},
                                 {IDCANCEL, "退出"},
                                 {IDC_BROWSE_SOURCE, "浏览(&B)..."},
                                 {IDC_SOURCE_PATH, ""},
                                 {IDC_RESULT_PATH, ""},
                                 {IDC_BROWSE_RESULT, "浏览(&R)..."},
                                 {IDC_STATIC, "待处理文件:"},
                                 {IDC_STATIC, "结果文件:"},
                                 {IDC_OPEN_RESULT, "打开结果文件"},
                                 {IDC_STATIC, "要求：待处理文件中的字符串是以空白（空格、tab 和换行）隔开。"},
                                 {IDC_STATIC, "功能：去除文件中重复的字符串，并将结果按字符串大小顺序输出。"},
                                 {IDC_STATIC, "网址："},
                                 {IDC_WEBSITE_LINK, "www.example.com"},
                                 {IDC_STATIC, "邮箱："},
                                 {IDC_EMAIL_LINK, "me@example.com"},
                                 {IDC_STATIC, "请选择或者输入："}};

const Control kAboutControls[] = {
    {IDC_STATIC, nullptr}, {IDC_STATIC, "lexset " LEXSET_VERSION_SHORT " 版"}, {IDC_STATIC, "版权所有 (C) 2026 QEMI"}, {IDOK, "确定"}};

// Checks the controls of `window` against `expected`, and that each lies
// wholly inside the window and clear of the others, but for a group box
// round some of them.
template <std::size_t N>
void ExpectControls(HWND window, const Control (&expected)[N]) {
  RECT client;
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  std::vector<std::pair<std::string, RECT>> shown;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect, inside;
    GetWindowRect(child, &rect);
    shown.emplace_back(WindowText(child), rect);
    EXPECT_TRUE(IntersectRect(&inside, &rect, &client) && EqualRect(&inside, &rect)) << shown.back().first;
    const std::size_t i = shown.size() - 1;
    if (i >= N) continue;
    // A classic template keeps 16-bit identifiers: -1 comes back as 0xFFFF.
    EXPECT_EQ(GetDlgCtrlID(child) & 0xFFFF, expected[i].id & 0xFFFF) << "control " << i;
    if (expected[i].text != nullptr) {
      EXPECT_EQ(shown[i].first, expected[i].text) << "control " << i;
    }
  }
  EXPECT_EQ(shown.size(), N);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      const RECT &a = shown[i].second, &b = shown[j].second;
      RECT common;
      if (IntersectRect(&common, &a, &b) && !EqualRect(&common, &a) && !EqualRect(&common, &b)) {
        ADD_FAILURE() << "\"" << shown[i].first << "\" overlaps \"" << shown[j].first << "\"";
      }
    }
  }
}

int FocusedId(const App& app) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(app.dialog(), nullptr), &info);
  return GetDlgCtrlID(info.hwndFocus);
}

// Waits for the message box that answers, checks its caption and icon,
// presses OK, and returns its text.
std::string ReadBox(const App& app, const char* icon) {
  const HWND box = app.WaitForOwned();
  if (box == nullptr) {
    ADD_FAILURE() << "no message box";
    return std::string();
  }
  const std::string text = WindowText(GetDlgItem(box, 0xFFFF));
  EXPECT_EQ(WindowText(box), kMessageCaption);
  EXPECT_EQ(app.Probe()["box-icon"], icon);
  EXPECT_TRUE(app.Dismiss(box));
  return text;
}

std::string StartAndRead(const App& app, const char* icon) {
  app.Click(IDOK);
  return ReadBox(app, icon);
}

TEST(MainWindowTest, ShowsItsTextsAndIconsOnEverySystem) {
  EXPECT_EQ(GetACP(), SystemCodePage());
  App app;
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(WindowText(app.dialog()), "VELDRA词表去重排序整理工具");
  ExpectControls(app.dialog(), kMainControls);
  // The big and small icons, and the one dragged while minimised.
  EXPECT_EQ(app.Probe()["icons"], "app app app");
}

TEST(MainWindowTest, TabGoesRoundTheControlsThatTakeInput) {
  App app;
  ASSERT_TRUE(app.Start());
  const int order[] = {
      IDOK, IDCANCEL, IDC_BROWSE_SOURCE, IDC_SOURCE_PATH, IDC_RESULT_PATH, IDC_BROWSE_RESULT, IDC_OPEN_RESULT, IDOK};
  EXPECT_EQ(FocusedId(app), IDOK);
  for (std::size_t i = 1; i < std::size(order); ++i) {
    PostMessageA(app.Item(order[i - 1]), WM_KEYDOWN, VK_TAB, 1);
    EXPECT_TRUE(WaitUntil([&] { return FocusedId(app) == order[i]; }, 5000)) << "Tab from " << order[i - 1];
  }
}

TEST(MainWindowTest, EscapeTheCloseBoxAndExitEachEndTheProgram) {
  const std::function<void(const App&)> ways[] = {
      [](const App& app) { PressKey(app.Item(IDC_SOURCE_PATH), VK_ESCAPE); },
      [](const App& app) { PostMessageA(app.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0); },
      [](const App& app) { app.Click(IDCANCEL); },
  };
  for (const auto& way : ways) {
    App app;
    ASSERT_TRUE(app.Start());
    way(app);
    EXPECT_EQ(app.WaitForExit(), 0L) << "way " << (&way - ways);
  }
}

TEST(StartTest, EmptyPathsAreRefused) {
  const std::string folder = FreshFolder();
  WriteAll(folder + "\\source.txt", "b a");
  App app;
  ASSERT_TRUE(app.Start());
  const std::string paths[][2] = {{"", ""}, {folder + "\\source.txt", ""}, {"", folder + "\\result.txt"}};
  for (const auto& path : paths) {
    app.Type(IDC_SOURCE_PATH, path[0]);
    app.Type(IDC_RESULT_PATH, path[1]);
    EXPECT_EQ(StartAndRead(app, "exclamation"), kEmptyPaths);
  }
  EXPECT_EQ(List(folder), std::vector<std::string>{"source.txt"});
}

TEST(StartTest, EnterInEitherBoxRunsTheJob) {
  const std::string folder = FreshFolder();
  const std::string source = folder + "\\source.txt";
  const std::string result = folder + "\\result.txt";
  WriteAll(source, "b a b\r\nA \xd6\xd0\xce\xc4 a");
  App app;
  ASSERT_TRUE(app.Start());
  app.Type(IDC_SOURCE_PATH, source);
  app.Type(IDC_RESULT_PATH, result);
  for (int id : {IDC_SOURCE_PATH, IDC_RESULT_PATH}) {
    DeleteFileA(result.c_str());
    PressKey(app.Item(id), VK_RETURN);
    // While the notice is up the result is complete and in place.
    ASSERT_NE(app.WaitForOwned(), nullptr);
    EXPECT_EQ(ReadAll(result), "A\r\na\r\nb\r\n\xd6\xd0\xce\xc4\r\n");
    EXPECT_EQ(List(folder), (std::vector<std::string>{"result.txt", "source.txt"}));
    EXPECT_EQ(ReadBox(app, "information"), kCompleted);
  }
  // Start again, over the first result; the window stays with both paths.
  WriteAll(source, "z y x");
  EXPECT_EQ(StartAndRead(app, "information"), kCompleted);
  EXPECT_EQ(ReadAll(result), "x\r\ny\r\nz\r\n");
  EXPECT_TRUE(app.Running());
  EXPECT_EQ(app.Text(IDC_SOURCE_PATH), source);
  EXPECT_EQ(app.Text(IDC_RESULT_PATH), result);
  // Source and result may be the same file.
  app.Type(IDC_RESULT_PATH, source);
  EXPECT_EQ(StartAndRead(app, "information"), kCompleted);
  EXPECT_EQ(ReadAll(source), "x\r\ny\r\nz\r\n");
}

// A job that cannot be done: the user is told which file and why, and no
// file changes. Each line reads right on every system: the program's words,
// the path and the system's reason each from its own code page.
struct Problem {
  const char* name;
  const char* source;  // in the test's folder, which holds source.txt and result.txt
  const char* result;
  const char* says;  // the message, up to the path it names
  bool names_source;
  const char* own_reason;  // the program's own reason; if null, the system's
  DWORD system_error;      // description of this error
  const char* last_line;  // what became of the result
  void (*prepare)(const std::string& folder);
};

const Problem kProblems[] = {
    {"MissingSource", "missing.txt", "result.txt", "无法打开待处理文件“", true, nullptr, ERROR_FILE_NOT_FOUND, kUntouched,
     nullptr},
    // A path in the system's code page among the program's texts, which
    // are in code page 936: é is in both 936 and 1252.
    {"MissingSourceWithAnAccent", "café.txt", "result.txt", "无法打开待处理文件“", true, nullptr, ERROR_FILE_NOT_FOUND,
     kUntouched, nullptr},
    {"ResultInAMissingFolder", "source.txt", "no such folder\\result.txt", "无法写入结果文件“", false, nullptr,
     ERROR_PATH_NOT_FOUND, kNotCreated, nullptr},
    {"ReadOnlyResult", "source.txt", "result.txt", "无法写入结果文件“", false, "这是一个只读文件。", 0, kUntouched,
     [](const std::string& folder) { SetFileAttributesA((folder + "\\result.txt").c_str(), FILE_ATTRIBUTE_READONLY); }},
    {"ResultIsAFolder", "source.txt", "sub", "无法写入结果文件“", false, "这是一个文件夹，不是文件。", 0, kUntouched,
     [](const std::string& folder) { CreateDirectoryA((folder + "\\sub").c_str(), nullptr); }},
};

// The system's description of an error, as the program shows it.
std::string SystemReason(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring reason = text != nullptr ? text : L"";
  LocalFree(text);
  while (!reason.empty() && (reason.back() == L'\r' || reason.back() == L'\n' || reason.back() == L' ')) reason.pop_back();
  return Cp936(reason);
}

void PrintTo(const Problem& row, std::ostream* out) { *out << row.name; }

class ProblemTest : public ::testing::TestWithParam<Problem> {};

TEST_P(ProblemTest, IsReportedAndChangesNoFile) {
  const Problem& row = GetParam();
  const std::string folder = FreshFolder();
  WriteAll(folder + "\\source.txt", "b a");
  WriteAll(folder + "\\result.txt", "precious");
  if (row.prepare != nullptr) row.prepare(folder);
  const std::vector<std::string> before = List(folder);
  App app;
  ASSERT_TRUE(app.Start());
  app.Type(IDC_SOURCE_PATH, folder + "\\" + row.source);
  app.Type(IDC_RESULT_PATH, folder + "\\" + row.result);
  const std::string text = StartAndRead(app, "exclamation");
  const std::string named = folder + "\\" + (row.names_source ? row.source : row.result);
  const std::string reason = row.own_reason != nullptr ? row.own_reason : SystemReason(row.system_error);
  EXPECT_EQ(text, row.says + named + "”。\r\n" + reason + "\r\n" + row.last_line);
  EXPECT_EQ(ReadAll(folder + "\\result.txt"), "precious");
  EXPECT_EQ(List(folder), before);
  SetFileAttributesA((folder + "\\result.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

INSTANTIATE_TEST_SUITE_P(Rows, ProblemTest, ::testing::ValuesIn(kProblems),
                         [](const ::testing::TestParamInfo<Problem>& info) { return std::string(info.param.name); });

// Opens the file dialog with button `browse` and asks it for `path`; returns
// the dialog if it stays, to complain, or null once it has closed.
HWND Choose(const App& app, int browse, const std::string& path) {
  app.Click(browse);
  const HWND dialog = app.WaitForOwned();
  if (dialog == nullptr) return nullptr;
  HWND name = FindWindowExA(FindWindowExA(GetDlgItem(dialog, 1148), nullptr, "ComboBox", nullptr), nullptr, "Edit",
                            nullptr);  // in cmb13
  DWORD_PTR ignored;
  SendMessageTimeoutA(name != nullptr ? name : GetDlgItem(dialog, 1152), WM_SETTEXT, 0,  // edt1
                      reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG, 5000, &ignored);
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  WaitUntil([&] { return !IsWindow(dialog) || OwnedDialog(dialog) != nullptr; });
  return IsWindow(dialog) ? dialog : nullptr;
}

TEST(BrowseTest, PutsTheChosenFileInItsBox) {
  const std::string folder = FreshFolder();
  WriteAll(folder + "\\words.txt", "b a");
  WriteAll(folder + "\\sorted.txt", "");
  App app;
  ASSERT_TRUE(app.Start());

  // The Open dialog, with its file types and the read-only box; cancelled,
  // it changes nothing.
  app.Type(IDC_SOURCE_PATH, "typed by hand");
  app.Click(IDC_BROWSE_SOURCE);
  const HWND dialog = app.WaitForOwned();
  ASSERT_NE(dialog, nullptr);
  std::vector<std::string> types(3);
  for (std::size_t i = 0; i < types.size(); ++i) {
    // Asked in UTF-16: Wine hands the ANSI form across processes cut short.
    wchar_t wide[256] = L"";
    SendMessageTimeoutW(GetDlgItem(dialog, 1136), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide), SMTO_ABORTIFHUNG,
                        5000, nullptr);  // cmb1
    types[i].assign(wide, wide + wcslen(wide));
  }
  EXPECT_EQ(types, (std::vector<std::string>{"Text File (*.txt)", "Word File (*.doc)", "All Files (*.*)"}));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, 1040)));  // chx1, "open as read-only"
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
  EXPECT_EQ(app.Text(IDC_SOURCE_PATH), "typed by hand");

  // A chosen file's full path goes in the box beside its button.
  EXPECT_EQ(Choose(app, IDC_BROWSE_SOURCE, folder + "\\words.txt"), nullptr);
  EXPECT_EQ(app.Text(IDC_SOURCE_PATH), folder + "\\words.txt");
  EXPECT_EQ(app.Text(IDC_RESULT_PATH), "");
  EXPECT_EQ(Choose(app, IDC_BROWSE_RESULT, folder + "\\sorted.txt"), nullptr);
  EXPECT_EQ(app.Text(IDC_RESULT_PATH), folder + "\\sorted.txt");

  // Only an existing file can be chosen: the dialog complains and stays.
  const HWND stays = Choose(app, IDC_BROWSE_RESULT, folder + "\\new.txt");
  ASSERT_NE(stays, nullptr);
  PostMessageA(OwnedDialog(stays), WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return OwnedDialog(stays) == nullptr; }));
  PostMessageA(stays, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(stays); }));
  EXPECT_EQ(app.Text(IDC_RESULT_PATH), folder + "\\sorted.txt");

  // A chosen path edited by hand is used as edited.
  app.Type(IDC_RESULT_PATH, folder + "\\edited.txt");
  EXPECT_EQ(StartAndRead(app, "information"), kCompleted);
  EXPECT_EQ(ReadAll(folder + "\\edited.txt"), "a\r\nb\r\n");
  EXPECT_EQ(ReadAll(folder + "\\sorted.txt"), "");
}

// Where on the window files are dropped.
enum class Spot { kSourceBox, kResultBox, kStartButton, kCaption };

// Files dropped on the window, and the box whose text becomes the first.
// The boxes hold a source and a result path beforehand.
struct Drop {
  const char* name;
  Spot spot;
  bool wide;                       // UTF-16 paths, as the shell hands them over; else ANSI
  std::vector<std::string> files;  // in code page 936
  int box;                         // 0: neither box changes
};

std::string LongPath() {
  std::string path = "C:\\长路径";
  for (int i = 0; i < 20; ++i) path += "\\子文件夹abcdefghij";
  return path + "\\词表.txt";  // 313 characters, 398 bytes
}

const Drop kDrops[] = {
    {"OnTheSourceBox", Spot::kSourceBox, true, {"C:\\词表\\新词.txt"}, IDC_SOURCE_PATH},
    {"OnTheResultBox", Spot::kResultBox, true, {"D:\\结果\\词库.txt"}, IDC_RESULT_PATH},
    // Anywhere else on the window it is the source; the job does not start.
    {"OnTheStartButton", Spot::kStartButton, true, {"C:\\a.txt"}, IDC_SOURCE_PATH},
    {"OnTheCaption", Spot::kCaption, true, {"C:\\b.txt"}, IDC_SOURCE_PATH},
    {"SeveralFilesTheFirstCounts", Spot::kResultBox, true, {"C:\\一.txt", "C:\\二.txt", "C:\\三.txt"}, IDC_RESULT_PATH},
    {"AnsiPaths", Spot::kResultBox, false, {"C:\\词表\\旧词.txt", "C:\\x.txt"}, IDC_RESULT_PATH},
    {"LongerThanMaxPath", Spot::kSourceBox, true, {LongPath()}, IDC_SOURCE_PATH},
    {"NoFiles", Spot::kSourceBox, true, {}, 0},
};

// Drops `row`'s files on the window as the shell does: a DROPFILES block in
// the program's memory with the paths after it, each ended by a NUL and the
// list by one more. The shell posts the message; it is sent here, so the
// program has handled it on return and the test can free the block, which
// DragFinish leaves alone since the program's heap did not give it.
void DropOn(const App& app, const Drop& row) {
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.fWide = row.wide;
  RECT rect;
  if (row.spot == Spot::kCaption) {
    GetWindowRect(app.dialog(), &rect);
    header.pt = {rect.left + 40, rect.top + GetSystemMetrics(SM_CYCAPTION) / 2 + 2};
    header.fNC = TRUE;
  } else {
    const int id = row.spot == Spot::kSourceBox   ? IDC_SOURCE_PATH
                   : row.spot == Spot::kResultBox ? IDC_RESULT_PATH
                                                  : IDOK;
    GetWindowRect(app.Item(id), &rect);
    header.pt = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ScreenToClient(app.dialog(), &header.pt);
  }
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  for (const std::string& file : row.files) {
    if (row.wide) {
      std::wstring wide(file.size(), L'\0');
      wide.resize(MultiByteToWideChar(936, 0, file.data(), static_cast<int>(file.size()), &wide[0],
                                      static_cast<int>(wide.size())));
      block.append(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * sizeof(wchar_t));
    } else {
      block.append(file.c_str(), file.size() + 1);
    }
  }
  block.append(row.wide ? sizeof(wchar_t) : 1, '\0');

  DWORD id = 0;
  GetWindowThreadProcessId(app.dialog(), &id);
  const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, id);
  ASSERT_NE(process, nullptr);
  void* const remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(remote, nullptr);
  EXPECT_TRUE(WriteProcessMemory(process, remote, block.data(), block.size(), nullptr));
  DWORD_PTR ignored;
  EXPECT_TRUE(SendMessageTimeoutA(app.dialog(), WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0, SMTO_ABORTIFHUNG,
                                  5000, &ignored));
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
}

void PrintTo(const Drop& row, std::ostream* out) { *out << row.name; }

class DropTest : public ::testing::TestWithParam<Drop> {};

TEST_P(DropTest, PutsTheFirstFileInTheBoxAndNothingElse) {
  const Drop& row = GetParam();
  const std::string folder = FreshFolder();
  WriteAll(folder + "\\source.txt", "b a");
  App app;
  ASSERT_TRUE(app.Start());
  // The window takes files the shell drops on it.
  EXPECT_NE(GetWindowLongA(app.dialog(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  const std::string source = folder + "\\source.txt", result = folder + "\\result.txt";
  app.Type(IDC_SOURCE_PATH, source);
  app.Type(IDC_RESULT_PATH, result);
  DropOn(app, row);
  EXPECT_EQ(app.Text(IDC_SOURCE_PATH), row.box == IDC_SOURCE_PATH ? row.files[0] : source);
  EXPECT_EQ(app.Text(IDC_RESULT_PATH), row.box == IDC_RESULT_PATH ? row.files[0] : result);
  EXPECT_EQ(OwnedDialog(app.dialog()), nullptr);
  EXPECT_EQ(List(folder), std::vector<std::string>{"source.txt"});
  EXPECT_TRUE(app.Running());
}

INSTANTIATE_TEST_SUITE_P(Rows, DropTest, ::testing::ValuesIn(kDrops),
                         [](const ::testing::TestParamInfo<Drop>& info) { return std::string(info.param.name); });

TEST(OpenResultTest, HandsTheResultToTheShell) {
  const std::string folder = FreshFolder();
  WriteAll(folder + "\\source.txt", "b a");
  App app;
  ASSERT_TRUE(app.Start());
  app.Click(IDC_OPEN_RESULT);
  EXPECT_EQ(ReadBox(app, "exclamation"), kEmptyResult);

  app.Type(IDC_SOURCE_PATH, folder + "\\source.txt");
  app.Type(IDC_RESULT_PATH, folder + "\\result.txt");
  EXPECT_EQ(StartAndRead(app, "information"), kCompleted);
  const std::size_t before = ShellLog().size();
  app.Click(IDC_OPEN_RESULT);
  EXPECT_TRUE(WaitUntil([&] { return ShellLog().find(folder + "\\result.txt", before) != std::string::npos; }));
  EXPECT_EQ(OwnedDialog(app.dialog()), nullptr);

  // The box is read afresh: emptied, it is refused again.
  app.Type(IDC_RESULT_PATH, "");
  app.Click(IDC_OPEN_RESULT);
  EXPECT_EQ(ReadBox(app, "exclamation"), kEmptyResult);

  // A file that does not exist: the shell fails quietly.
  app.Type(IDC_RESULT_PATH, folder + "\\missing.txt");
  app.Click(IDC_OPEN_RESULT);
  Sleep(1500);
  EXPECT_EQ(OwnedDialog(app.dialog()), nullptr);
  EXPECT_EQ(ShellLog().find("missing.txt"), std::string::npos);
  EXPECT_TRUE(app.Running());
}

// The About box, once it is up.
HWND WaitForAbout(const App& app) {
  const HWND box = app.WaitForOwned();
  return box != nullptr && WindowText(box) == "关于" ? box : nullptr;
}

TEST(AboutTest, SystemMenuEntryShowsTheBox) {
  App app;
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(app.Probe()["menu-last"], "16 after-separator 关于 lexset(&A)...");
  // OK, Escape and Enter each close it; a fresh box every time.
  for (WPARAM key : {0, VK_ESCAPE, VK_RETURN}) {
    PostMessageA(app.dialog(), WM_SYSCOMMAND, IDM_ABOUT, 0);
    const HWND box = WaitForAbout(app);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(IsWindowEnabled(app.dialog()));  // modal
    if (key == 0) {
      ExpectControls(box, kAboutControls);
      EXPECT_EQ(app.Probe()["box-icon"], "app");
      PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    } else {
      PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, key, 1);
    }
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "key " << key;
    EXPECT_TRUE(IsWindowEnabled(app.dialog()));
  }
  EXPECT_TRUE(app.Running());
}

// Dialogs open in the middle of what they belong to: the window in the
// work area of the screen, the About box over the window. Halves are
// rounded, so the middles agree to a pixel.
TEST(AboutTest, TheWindowOpensCentredAndTheBoxOverIt) {
  App app;
  ASSERT_TRUE(app.Start());
  RECT area, window, about;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  GetWindowRect(app.dialog(), &window);
  EXPECT_NEAR(window.left + window.right, area.left + area.right, 2);
  EXPECT_NEAR(window.top + window.bottom, area.top + area.bottom, 2);
  PostMessageA(app.dialog(), WM_SYSCOMMAND, IDM_ABOUT, 0);
  const HWND box = WaitForAbout(app);
  ASSERT_NE(box, nullptr);
  GetWindowRect(box, &about);
  EXPECT_NEAR(about.left + about.right, window.left + window.right, 2);
  EXPECT_NEAR(about.top + about.bottom, window.top + window.bottom, 2);
}

}  // namespace
}  // namespace gui
