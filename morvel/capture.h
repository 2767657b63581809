// Reading back what a Tk window shows on the screen: the pixels of an area
// from the window's top-left corner, one red, green and blue intensity per
// pixel, and the window's colour depth. The window's pixels are read from
// the X server once; pixels outside the visible part of the window are
// white.
#pragma once

#include <tk.h>

#include <cstdint>
#include <vector>

// Screen colour of one pixel: 0x00BBGGRR (red in the low byte).
using ScreenColour = uint32_t;
constexpr ScreenColour SCREEN_WHITE = 0x00ffffff;

inline int colour_red(ScreenColour c) { return static_cast<int>(c & 0xff); }
inline int colour_green(ScreenColour c) {
  return static_cast<int>((c >> 8) & 0xff);
}
inline int colour_blue(ScreenColour c) {
  return static_cast<int>((c >> 16) & 0xff);
}

struct WindowCapture {
  int depth = 0;  // the window's colour depth in bits
  int rows = 0;   // the captured area
  int cols = 0;
  // The visible part of the area, in area coordinates, row-major.
  int visX = 0, visY = 0, visCols = 0, visRows = 0;
  std::vector<ScreenColour> visible;
};

// Reads the `rows` x `cols` area at the top-left of `window`. Returns false
// only when memory for the visible part cannot be obtained (by Xlib or
// here).
bool capture_window(Tk_Window window, int rows, int cols,
                    WindowCapture *capture);

// The colour of pixel (x, y) of the area.
inline ScreenColour captured_pixel(const WindowCapture &c, int x, int y) {
  const int vx = x - c.visX, vy = y - c.visY;
  if (vx < 0 || vy < 0 || vx >= c.visCols || vy >= c.visRows)
    return SCREEN_WHITE;
  return c.visible[static_cast<size_t>(vy) * c.visCols + vx];
}
