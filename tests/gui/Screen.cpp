//===- Screen.cpp - What a window looks like on the screen ---------------===//
#include "tests/gui/Screen.h"

namespace gui {

Pixels Capture(HWND window) {
  Pixels pixels;
  RECT client;
  if (!GetClientRect(window, &client)) return pixels;
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  pixels.width = client.right;
  pixels.height = client.bottom;
  if (pixels.width <= 0 || pixels.height <= 0) return pixels;

  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = pixels.width;
  format.bmiHeader.biHeight = -pixels.height;  // top row first
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  const auto* bgrx = static_cast<const BYTE*>(bits);
  for (int i = 0; i < pixels.width * pixels.height; ++i) {
    pixels.colours.push_back(RGB(bgrx[4 * i + 2], bgrx[4 * i + 1], bgrx[4 * i]));
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

namespace {

// Whether channel value `v` lies between `from` and `to`, give or take a
// little rounding.
bool Between(int v, int from, int to) {
  const int low = from < to ? from : to;
  const int high = from < to ? to : from;
  return v >= low - 4 && v <= high + 4;
}

}  // namespace

Ink InkOf(const Pixels& pixels, COLORREF background, COLORREF text) {
  Ink ink;
  ink.box = {pixels.width, pixels.height, 0, 0};
  for (int y = 0; y < pixels.height; ++y) {
    for (int x = 0; x < pixels.width; ++x) {
      const COLORREF c = pixels.At(x, y);
      if (c == background) continue;
      ++ink.pixels;
      if (c == text) ++ink.solid;
      ink.box.left = x < ink.box.left ? x : ink.box.left;
      ink.box.top = y < ink.box.top ? y : ink.box.top;
      ink.box.right = x + 1 > ink.box.right ? x + 1 : ink.box.right;
      ink.box.bottom = y + 1 > ink.box.bottom ? y + 1 : ink.box.bottom;
      if (!Between(GetRValue(c), GetRValue(background), GetRValue(text)) ||
          !Between(GetGValue(c), GetGValue(background), GetGValue(text)) ||
          !Between(GetBValue(c), GetBValue(background), GetBValue(text))) {
        ink.only_text_colour = false;
      }
    }
  }
  if (ink.pixels == 0) {
    ink.box = {0, 0, 0, 0};
    ink.only_text_colour = false;
    return ink;
  }
  // A glyph such as '/' may reach a pixel or two past the line.
  const int width = ink.box.right - ink.box.left;
  for (int y = ink.box.top; y < ink.box.bottom && !ink.underlined; ++y) {
    int run = 0;
    for (int x = ink.box.left; x < ink.box.right && !ink.underlined; ++x) {
      run = pixels.At(x, y) == text ? run + 1 : 0;
      ink.underlined = run * 10 >= width * 9;
    }
  }
  return ink;
}

bool Empty(const Ink& ink) { return ink.pixels == 0; }

}  // namespace gui
