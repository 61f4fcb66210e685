//===- AboutDialogTable.h - What the About box and version block hold ----===//
#pragma once

#include <windows.h>

#include "tests/gui/MainDialogTable.h"

namespace gui {

constexpr unsigned kAboutCommand = 0x0010;
constexpr int kAboutMenuString = 101;
constexpr char kAboutMenuText[] = "关于 lexset(&A)...";

constexpr int kAboutTemplate = 100;
constexpr char kAboutCaption[] = "关于";
constexpr unsigned long kAboutStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
constexpr char kCopyright[] = "版权所有 (C) 2026 QEMI";

// The icon's text in the template names icon resource 128.
inline const ControlRow kAboutControls[] = {
    {-1, "Static", "#128", SS_ICON, 11, 17, 20, 20},
    {-1, "Static", "lexset 1.0 版", SS_NOPREFIX | WS_GROUP, 40, 10, 119, 8},
    {-1, "Static", kCopyright, WS_GROUP, 40, 25, 119, 8},
    {IDOK, "Button", "确定", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 178, 7, 50, 14},
};

// The version block's strings, in the order they are stored.
struct VersionString {
  const char* key;
  const char* value;
};

inline const VersionString kVersionStrings[] = {
    {"Comments", ""},
    {"CompanyName", "QEMI"},
    {"FileDescription", "lexset Microsoft 基础类应用程序"},
    {"FileVersion", "1, 0, 0, 1"},
    {"InternalName", "lexset"},
    {"LegalCopyright", kCopyright},
    {"LegalTrademarks", ""},
    {"OriginalFilename", "lexset.EXE"},
    {"PrivateBuild", ""},
    {"ProductName", "lexset 应用程序"},
    {"ProductVersion", "1, 0, 0, 1"},
    {"SpecialBuild", ""},
};

}  // namespace gui
