//===- Hyperlink.h - Static text controls that work as links -------------===//
//
// A label attached here paints its text underlined in a link colour, in one
// font shared by every label (the default GUI font, smaller where at high
// display scaling a label's text would not fit otherwise), shows a hand
// cursor, and on a click turns the visited colour and hands its target to
// the shell. The subclassing lasts until the control is destroyed.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <windows.h>

// Room for a target and its terminator; longer targets are cut to fit.
constexpr int kHyperlinkTargetSize = 260;

// Passed as the colour: the usual blue of a link.
constexpr COLORREF kDefaultLinkColour = static_cast<COLORREF>(-1);
constexpr COLORREF kLinkColour = RGB(0, 0, 255);
constexpr COLORREF kVisitedLinkColour = RGB(128, 0, 128);

// One per label, on the process heap from attaching until the control's
// window is destroyed.
struct HyperlinkData {
  char target[kHyperlinkTargetSize];  // empty: a click opens the label's own text
  WNDPROC previous;                   // the control's procedure before attaching
  COLORREF colour;                    // the text colour now in use
  COLORREF visited;                   // the colour after the first click
};

// Turns static control `controlId` of `parent` into a link to `target` (null
// or empty: the label's own text) drawn in `colour`, or kDefaultLinkColour.
// Returns FALSE, leaving the control a plain static, when there is no such
// control or no memory for its record.
BOOL AttachHyperlink(HWND parent, int controlId, LPCSTR target, COLORREF colour);

// The procedure of an attached label; only AttachHyperlink installs it.
LRESULT CALLBACK HyperlinkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
