//===- Hyperlink.cpp - Static text controls that work as links -----------===//
#include "ui/Hyperlink.h"

#include <shellapi.h>

#include <algorithm>

namespace {

// The hand over a link, 32 x 32 with its fingertip at (5, 2). Each row is
// four bytes, leftmost pixel in the high bit; AND 1 and XOR 0 leave the
// screen as it is, AND 0 paints black with XOR 0 and white with XOR 1.
constexpr int kHandHotX = 5;
constexpr int kHandHotY = 2;
// One row of the picture per line.
// clang-format off
constexpr BYTE kHandAnd[32 * 4] = {
    0xFF, 0xFF, 0xFF, 0xFF,
    0xF9, 0xFF, 0xFF, 0xFF,
    0xF0, 0xFF, 0xFF, 0xFF,
    0xF0, 0xFF, 0xFF, 0xFF,
    0xF0, 0xFF, 0xFF, 0xFF,
    0xF0, 0xFF, 0xFF, 0xFF,
    0xF0, 0x24, 0xFF, 0xFF,
    0xF0, 0x00, 0x7F, 0xFF,
    0xC0, 0x00, 0x7F, 0xFF,
    0x80, 0x00, 0x7F, 0xFF,
    0x80, 0x00, 0x7F, 0xFF,
    0x80, 0x00, 0x7F, 0xFF,
    0x80, 0x00, 0x7F, 0xFF,
    0x80, 0x00, 0x7F, 0xFF,
    0xC0, 0x00, 0x7F, 0xFF,
    0xE0, 0x00, 0x7F, 0xFF,
    0xF0, 0x00, 0xFF, 0xFF,
    0xF0, 0x00, 0xFF, 0xFF,
    0xF0, 0x00, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF,
};
constexpr BYTE kHandXor[32 * 4] = {
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00,
    0x06, 0xDB, 0x00, 0x00,
    0x06, 0xDB, 0x00, 0x00,
    0x36, 0xDB, 0x00, 0x00,
    0x36, 0xDB, 0x00, 0x00,
    0x37, 0xFF, 0x00, 0x00,
    0x3F, 0xFF, 0x00, 0x00,
    0x3F, 0xFF, 0x00, 0x00,
    0x1F, 0xFF, 0x00, 0x00,
    0x0F, 0xFF, 0x00, 0x00,
    0x07, 0xFE, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
};
// clang-format on

// Shared by every label of the process; only the UI thread touches them.
// A press on any label arms the next release over any label as a click.
bool g_pressed = false;
// A label's text, fetched for painting and for clicks; longer texts are cut.
char g_text[kHyperlinkTargetSize];
// Made on first need and kept until the process ends: the one font of
// every label, and the hand.
HFONT g_linkFont = nullptr;
HCURSOR g_handCursor = nullptr;

HyperlinkData* RecordOf(HWND window) {
  return reinterpret_cast<HyperlinkData*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

UINT TextFormat(HWND label) {
  const LONG style = ::GetWindowLongA(label, GWL_STYLE);
  UINT format = DT_SINGLELINE;
  if (style & SS_CENTER) format |= DT_CENTER;
  if (style & SS_RIGHT) format |= DT_RIGHT;
  if (style & SS_CENTERIMAGE) format |= DT_VCENTER;
  return format;
}

// Whether the text of every link label among `parent`'s controls fits its
// label in `font`.
bool EveryLinkFits(HWND parent, HDC dc, HFONT font) {
  const HGDIOBJ previous = ::SelectObject(dc, font);
  bool fit = true;
  for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr && fit; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (::GetWindowLongPtrA(child, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&HyperlinkWndProc)) continue;
    RECT client, text{0, 0, 0, 0};
    ::GetClientRect(child, &client);
    ::GetWindowTextA(child, g_text, sizeof g_text);
    ::DrawTextA(dc, g_text, -1, &text, TextFormat(child) | DT_CALCRECT);
    fit = text.right - text.left <= client.right - client.left;
  }
  ::SelectObject(dc, previous);
  return fit;
}

// The font of every label: the default GUI font, underlined, made when the
// first label is painted. At higher scaling the labels, sized in their
// dialog's units, may grow less than that font, since the units follow the
// average width of the dialog's font in whole pixels; then it is made at the
// largest smaller size at which the text of every label of `label`'s window
// fits, so that the labels stay alike and in step with the dialog. Never
// below the font's size at 100 %: a text that fits there fits at any
// scaling, and one too long for its label is cut at the edge, in the full
// size.
HFONT LinkFont(HWND label, HDC dc) {
  if (g_linkFont != nullptr) return g_linkFont;
  LOGFONTA font;
  if (::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font) != sizeof font) return nullptr;
  font.lfUnderline = TRUE;
  const LONG full = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
  const LONG smallest = std::max(1, ::MulDiv(full, 96, ::GetDeviceCaps(dc, LOGPIXELSY)));
  const LONG sign = font.lfHeight < 0 ? -1 : 1;  // measured by character or by cell, as the stock font is
  for (LONG height = full; height >= smallest && g_linkFont == nullptr; --height) {
    font.lfHeight = sign * height;
    const HFONT candidate = ::CreateFontIndirectA(&font);
    if (candidate != nullptr && EveryLinkFits(::GetParent(label), dc, candidate)) {
      g_linkFont = candidate;
    } else if (candidate != nullptr) {
      ::DeleteObject(candidate);
    }
  }
  if (g_linkFont == nullptr) {
    font.lfHeight = sign * full;
    g_linkFont = ::CreateFontIndirectA(&font);
  }
  return g_linkFont;
}

HCURSOR HandCursor() {
  if (g_handCursor == nullptr) {
    g_handCursor = ::CreateCursor(::GetModuleHandleA(nullptr), kHandHotX, kHandHotY, 32, 32, kHandAnd, kHandXor);
  }
  return g_handCursor;
}

// Draws the text on one line, aligned as the static is, in the link's
// colour on the button face; the rest of the control is left alone.
LRESULT OnPaint(HWND window, const HyperlinkData& link) {
  RECT client;
  ::GetClientRect(window, &client);
  PAINTSTRUCT paint;
  const HDC dc = ::BeginPaint(window, &paint);
  ::SetTextColor(dc, link.colour);
  ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
  const HFONT font = LinkFont(window, dc);
  const HGDIOBJ previousFont = font != nullptr ? ::SelectObject(dc, font) : nullptr;
  ::GetWindowTextA(window, g_text, sizeof g_text);
  ::DrawTextA(dc, g_text, -1, &client, TextFormat(window));
  if (previousFont != nullptr) ::SelectObject(dc, previousFont);
  ::EndPaint(window, &paint);
  return 0;
}

// Shows the visited colour before the shell, which may take a while, is
// asked to open the target.
void OnClick(HWND window, HyperlinkData& link) {
  g_pressed = false;
  link.colour = link.visited;
  ::InvalidateRect(window, nullptr, FALSE);
  ::UpdateWindow(window);
  LPCSTR target = link.target;
  if (target[0] == '\0') {
    ::GetWindowTextA(window, g_text, sizeof g_text);
    target = g_text;
  }
  ::ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

BOOL AttachHyperlink(HWND parent, int controlId, LPCSTR target, COLORREF colour) {
  const HWND control = ::GetDlgItem(parent, controlId);
  if (control == nullptr) return FALSE;
  auto* link = static_cast<HyperlinkData*>(::HeapAlloc(::GetProcessHeap(), 0, sizeof(HyperlinkData)));
  if (link == nullptr) return FALSE;

  // Like any notifying static, the label tells its parent of its clicks.
  ::SetWindowLongA(control, GWL_STYLE, ::GetWindowLongA(control, GWL_STYLE) | SS_NOTIFY);
  ::lstrcpynA(link->target, target != nullptr ? target : "", kHyperlinkTargetSize);
  link->colour = colour == kDefaultLinkColour ? kLinkColour : colour;
  link->visited = kVisitedLinkColour;
  // The record is complete and in place before the first message reaches
  // HyperlinkWndProc.
  link->previous = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(control, GWLP_WNDPROC));
  ::SetWindowLongPtrA(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link));
  ::SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HyperlinkWndProc));
  return TRUE;
}

LRESULT CALLBACK HyperlinkWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HyperlinkData* link = RecordOf(window);
  const WNDPROC previous = link->previous;
  switch (message) {
    case WM_SETTEXT: {
      const LRESULT result = ::CallWindowProcA(previous, window, message, wParam, lParam);
      ::InvalidateRect(window, nullptr, FALSE);
      return result;
    }
    case WM_PAINT:
      return OnPaint(window, *link);
    case WM_SETCURSOR:
      ::SetCursor(HandCursor());
      return TRUE;
    case WM_NCHITTEST:
      return HTCLIENT;
    case WM_NCDESTROY:
      // `previous` was read out above: the record goes first.
      ::HeapFree(::GetProcessHeap(), 0, link);
      break;
    case WM_LBUTTONDOWN:
      g_pressed = true;
      break;
    case WM_LBUTTONUP:
      if (g_pressed) OnClick(window, *link);
      break;
    default:
      break;
  }
  return ::CallWindowProcA(previous, window, message, wParam, lParam);
}
