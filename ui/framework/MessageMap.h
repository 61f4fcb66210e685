//===- MessageMap.h - Message maps as plain if-chains --------------------===//
//
// DECLARE_MESSAGE_MAP() in a class declares its OnWndMsg; BEGIN_MESSAGE_MAP
// ... END_MESSAGE_MAP() defines it as one test per entry, in the order
// written, falling back to the base class's map. Only the kinds of entry the
// program uses exist.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <windows.h>

#define DECLARE_MESSAGE_MAP() \
 public:                      \
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                           \
  bool theClass::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) { \
    using ThisBase = baseClass;                                                          \
    (void)lParam;

#define END_MESSAGE_MAP()                                     \
  return ThisBase::OnWndMsg(message, wParam, lParam, result); \
  }

#define ON_WM_SYSCOMMAND()                           \
  if (message == WM_SYSCOMMAND) {                    \
    OnSysCommand(static_cast<UINT>(wParam), lParam); \
    *result = 0;                                     \
    return true;                                     \
  }

#define ON_WM_PAINT()        \
  if (message == WM_PAINT) { \
    OnPaint();               \
    *result = 0;             \
    return true;             \
  }

#define ON_WM_QUERYDRAGICON()                               \
  if (message == WM_QUERYDRAGICON) {                        \
    *result = reinterpret_cast<LRESULT>(OnQueryDragIcon()); \
    return true;                                            \
  }

// Files dropped on a window that accepts them (DragAcceptFiles).
#define ON_WM_DROPFILES()                         \
  if (message == WM_DROPFILES) {                  \
    OnDropFiles(reinterpret_cast<HDROP>(wParam)); \
    *result = 0;                                  \
    return true;                                  \
  }

// A button's click, by control identifier.
#define ON_BN_CLICKED(id, handler)                                                       \
  if (message == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == BN_CLICKED) { \
    handler();                                                                           \
    *result = 0;                                                                         \
    return true;                                                                         \
  }

// A menu or accelerator command.
#define ON_COMMAND(id, handler)                                                 \
  if (message == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) <= 1) { \
    handler();                                                                  \
    *result = 0;                                                                \
    return true;                                                                \
  }
