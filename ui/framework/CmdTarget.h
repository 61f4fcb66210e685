//===- CmdTarget.h - Objects that take part in message maps --------------===//
#pragma once

#include <windows.h>

// The base of everything with a message map: the application and windows.
class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;

  // Runs the handler the message map has for a message. Returns true, with
  // the handler's result in *result, when there is one.
  virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    (void)message;
    (void)wParam;
    (void)lParam;
    (void)result;
    return false;
  }
};
