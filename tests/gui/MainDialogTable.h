//===- MainDialogTable.h - What the main window's template must hold -----===//
#pragma once

#include <windows.h>

namespace gui {

constexpr int kBrowseSource = 1000;
constexpr int kSourcePath = 1001;
constexpr int kResultPath = 1002;
constexpr int kBrowseResult = 1003;
constexpr int kOpenResult = 1004;
constexpr int kWebsiteLink = 1005;
constexpr int kEmailLink = 1006;

constexpr char kMainCaption[] = "VELDRA词表去重排序整理工具";
constexpr unsigned long kMainStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

// Control by control in tab order: the styles each declares besides
// WS_CHILD and WS_VISIBLE, and its place in dialog units.
struct ControlRow {
  int id;
  const char* class_name;
  const char* text;
  unsigned long style;
  int x, y, width, height;
};

inline const ControlRow kControls[] = {
    {IDOK, "Button", "开始处理", BS_DEFPUSHBUTTON | WS_TABSTOP, 82, 97, 50, 14},
    {IDCANCEL, "Button", "退出", WS_TABSTOP, 199, 97, 50, 14},
    {kBrowseSource, "Button", "浏览(&B)...", WS_TABSTOP, 200, 55, 50, 14},
    {kSourcePath, "Edit", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 62, 55, 129, 14},
    {kResultPath, "Edit", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 62, 77, 129, 14},
    {kBrowseResult, "Button", "浏览(&R)...", WS_TABSTOP, 200, 76, 50, 14},
    {-1, "Static", "待处理文件:", WS_GROUP, 13, 58, 45, 8},
    {-1, "Static", "结果文件:", WS_GROUP, 21, 80, 37, 8},
    {kOpenResult, "Button", "打开结果文件", WS_TABSTOP, 139, 97, 53, 14},
    {-1, "Static", "要求：待处理文件中的字符串是以空白（空格、tab 和换行）隔开。", WS_GROUP, 12, 11, 241, 8},
    {-1, "Static", "功能：去除文件中重复的字符串，并将结果按字符串大小顺序输出。", WS_GROUP, 12, 23, 241, 8},
    {-1, "Static", "网址：", WS_GROUP, 42, 126, 25, 8},
    {kWebsiteLink, "Static", "www.example.com", WS_GROUP, 70, 126, 85, 8},
    {-1, "Static", "邮箱：", WS_GROUP, 166, 126, 25, 8},
    {kEmailLink, "Static", "me@example.com", WS_GROUP, 194, 126, 57, 8},
    {-1, "Button", "请选择或者输入：", BS_GROUPBOX, 7, 38, 256, 82},
};

}  // namespace gui
