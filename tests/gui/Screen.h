//===- Screen.h - What a window looks like on the screen -----------------===//
//
// The driver reads the virtual display, as a user would look at it, and
// describes the "ink" in a control: the pixels that differ from the
// background the control sits on.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <windows.h>

#include <vector>

namespace gui {

// The pixels of a window's client area, top row first.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> colours;
  COLORREF At(int x, int y) const { return colours[static_cast<std::size_t>(y) * width + x]; }
};

// Reads the client area of `window` off the screen.
Pixels Capture(HWND window);

struct Ink {
  // The box round every pixel that is not the background; empty if none.
  RECT box{0, 0, 0, 0};
  int pixels = 0;
  // Pixels of exactly the text colour.
  int solid = 0;
  // Whether every pixel, channel by channel, lies between the background
  // and the text colour, as text of that colour smoothed onto that
  // background does.
  bool only_text_colour = true;
  // Whether a row of solid pixels runs across the box, as an underline
  // does.
  bool underlined = false;
};

Ink InkOf(const Pixels& pixels, COLORREF background, COLORREF text);
bool Empty(const Ink& ink);

}  // namespace gui
