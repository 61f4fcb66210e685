//===- Menu.h - CMenu: a menu handle --------------------------------------===//
#pragma once

#include <windows.h>

#include "ui/framework/String.h"

// A menu owned by the system (such as a window's system menu); the object
// only refers to it.
class CMenu {
 public:
  // `text` is a text of the program (CP_PROGRAM).
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr) {
    return ::AppendMenuW(m_hMenu, flags, id, text != nullptr ? static_cast<LPCWSTR>(CA2W(text)) : nullptr);
  }

  HMENU m_hMenu = nullptr;
};
