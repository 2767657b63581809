// Screen read-back on X11: one image request for the visible part of the
// window, converted to colours through the window's visual (masks for true
// colour, one colour-map query for the other classes).
#include "capture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <memory>
#include <new>

namespace {

// X errors raised while the image is read (a window that stops being
// viewable, for instance) are counted here instead of reaching Tk.
int count_error(ClientData data, XErrorEvent *) {
  ++*static_cast<int *>(data);
  return 0;
}

struct ImageDeleter {
  void operator()(XImage *image) const {
    if (image != nullptr) XDestroyImage(image);
  }
};

// An 8-bit intensity from the field of a true-colour pixel under `mask`.
struct Channel {
  int shift = 0;
  unsigned long max = 0;
};

Channel channel_of(unsigned long mask) {
  Channel c;
  if (mask == 0) return c;
  while ((mask & 1) == 0) {
    mask >>= 1;
    ++c.shift;
  }
  c.max = mask;
  return c;
}

inline uint32_t intensity(const Channel &c, unsigned long pixel) {
  if (c.max == 0) return 0;
  const unsigned long v = (pixel >> c.shift) & c.max;
  if (c.max == 255) return static_cast<uint32_t>(v);
  return static_cast<uint32_t>((v * 255 + c.max / 2) / c.max);
}

void convert_true_colour(XImage *image, const Visual *visual,
                         WindowCapture *capture) {
  const Channel red = channel_of(visual->red_mask);
  const Channel green = channel_of(visual->green_mask);
  const Channel blue = channel_of(visual->blue_mask);
  for (int y = 0; y < capture->visRows; ++y) {
    ScreenColour *out =
        capture->visible.data() + static_cast<size_t>(y) * capture->visCols;
    for (int x = 0; x < capture->visCols; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      out[x] = intensity(red, pixel) | intensity(green, pixel) << 8 |
               intensity(blue, pixel) << 16;
    }
  }
}

// Other visuals: every distinct pixel value is looked up in the window's
// colour map with one query.
void convert_mapped(Display *display, Colormap colourmap, XImage *image,
                    WindowCapture *capture) {
  std::vector<unsigned long> values;
  values.reserve(capture->visible.size());
  for (int y = 0; y < capture->visRows; ++y)
    for (int x = 0; x < capture->visCols; ++x)
      values.push_back(XGetPixel(image, x, y));
  std::vector<unsigned long> distinct(values);
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  std::vector<XColor> colours(distinct.size());
  for (size_t k = 0; k < distinct.size(); ++k) colours[k].pixel = distinct[k];
  XQueryColors(display, colourmap, colours.data(),
               static_cast<int>(colours.size()));
  for (size_t k = 0; k < values.size(); ++k) {
    const size_t at = static_cast<size_t>(
        std::lower_bound(distinct.begin(), distinct.end(), values[k]) -
        distinct.begin());
    const XColor &c = colours[at];
    capture->visible[k] = static_cast<uint32_t>(c.red >> 8) |
                          static_cast<uint32_t>(c.green >> 8) << 8 |
                          static_cast<uint32_t>(c.blue >> 8) << 16;
  }
}

// A rectangle in root-window coordinates: [x0, x1) x [y0, y1).
struct Box {
  int x0, y0, x1, y1;
};

// Narrows `box` to the inside of `window`.
bool clip_to(Display *display, Window window, Window root, Box *box) {
  XWindowAttributes attributes;
  int x, y;
  Window child;
  if (!XGetWindowAttributes(display, window, &attributes) ||
      !XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child))
    return false;
  box->x0 = std::max(box->x0, x);
  box->y0 = std::max(box->y0, y);
  box->x1 = std::min(box->x1, x + attributes.width);
  box->y1 = std::min(box->y1, y + attributes.height);
  return true;
}

// The part of the area that the window shows on the screen: inside the
// window, inside every window that holds it (a parent clips its children)
// and inside the root window.
bool visible_part(Display *display, Window window, int rows, int cols,
                  WindowCapture *capture) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes) ||
      attributes.map_state != IsViewable)
    return false;
  const Window root = attributes.root;
  int rootX, rootY;
  Window child;
  if (!XTranslateCoordinates(display, window, root, 0, 0, &rootX, &rootY,
                             &child))
    return false;
  Box box = {rootX, rootY, rootX + std::min(cols, attributes.width),
             rootY + std::min(rows, attributes.height)};
  for (Window w = window; w != root;) {
    Window treeRoot, parent, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, w, &treeRoot, &parent, &children, &count))
      return false;
    if (children != nullptr) XFree(children);
    if (!clip_to(display, parent, root, &box)) return false;
    w = parent;
  }
  if (box.x1 <= box.x0 || box.y1 <= box.y0) return false;
  capture->visX = box.x0 - rootX;
  capture->visY = box.y0 - rootY;
  capture->visCols = box.x1 - box.x0;
  capture->visRows = box.y1 - box.y0;
  return true;
}

}  // namespace

bool capture_window(Tk_Window window, int rows, int cols,
                    WindowCapture *capture) {
  capture->depth = Tk_Depth(window);
  capture->rows = rows;
  capture->cols = cols;
  capture->visCols = capture->visRows = 0;
  capture->visible.clear();
  Display *display = Tk_Display(window);
  const Window id = Tk_WindowId(window);
  if (id == None) return true;

  int errors = 0;
  Tk_ErrorHandler handler =
      Tk_CreateErrorHandler(display, -1, -1, -1, count_error, &errors);
  std::unique_ptr<XImage, ImageDeleter> image;
  const bool shown = visible_part(display, id, rows, cols, capture);
  if (shown) {
    image.reset(XGetImage(display, id, capture->visX, capture->visY,
                          static_cast<unsigned>(capture->visCols),
                          static_cast<unsigned>(capture->visRows), AllPlanes,
                          ZPixmap));
  }
  XSync(display, False);
  Tk_DeleteErrorHandler(handler);
  if (!image || errors != 0) {
    capture->visCols = capture->visRows = 0;
    // A visible part but no image and no X error: Xlib could not hold the
    // pixels it was sent, which a picture of white would lose in silence.
    return !shown || errors != 0;
  }
  try {
    capture->visible.resize(static_cast<size_t>(capture->visCols) *
                            capture->visRows);
    const Visual *visual = Tk_Visual(window);
    if (visual->c_class == TrueColor)
      convert_true_colour(image.get(), visual, capture);
    else
      convert_mapped(display, Tk_Colormap(window), image.get(), capture);
  } catch (const std::bad_alloc &) {
    capture->visCols = capture->visRows = 0;
    return false;
  }
  return true;
}
