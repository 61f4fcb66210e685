//===- Menu.h - CMenu: a menu handle --------------------------------------===//
#pragma once

#include <windows.h>

// A menu owned by the system (such as a window's system menu); the object
// only refers to it.
class CMenu {
 public:
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr) {
    return ::AppendMenuA(m_hMenu, flags, id, text);
  }

  HMENU m_hMenu = nullptr;
};
