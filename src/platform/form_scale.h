#pragma once
// Scaling of a window laid out in design units to the font it really got.
//
// The control tables give positions and sizes for "MS Sans Serif" 8 point at
// 96 DPI, whose dialog base units are 6 by 13 pixels. A window measures its
// font as Windows measures dialog base units (the mean width of the 52 Latin
// letters, and the character height) and scales every position and size by
// the ratio to the design units, each axis on its own. A font that is not
// larger than the design font leaves the layout exactly as designed: the
// factor never falls below 1. A text that still does not fit its control (a
// font whose letters are narrow on average but whose words are wide) widens
// the horizontal factor further: FittedTo.

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string_view>

#include "platform/main_window_texts.h"

namespace fu::form1 {

// The text whose extent, divided by its length, is the mean character width.
inline constexpr std::string_view kBaseUnitSample =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr double kDesignCharWidth = 6.0;
inline constexpr double kDesignCharHeight = 13.0;

// The tables' outer sizes are for the classic Windows frame at 96 DPI of a
// window with caption and fixed border: 3 pixels on each side and a caption of
// 19. The client area is the outer size less these.
inline constexpr int kClassicFrameX = 2 * 3;
inline constexpr int kClassicFrameY = 2 * 3 + 19;

// A fixed text and the design span it must fit in: `room` in design units
// must scale to at least `pixels`.
struct TextRoom {
  Rect room;
  int pixels;
};

class FormScale {
 public:
  FormScale() = default;

  // sample_extent: the width of kBaseUnitSample in the window's font;
  // char_height: the font's character height (ascent plus descent).
  //
  // The mean width is rounded to whole pixels as Windows rounds its dialog
  // base unit, (extent / 26 + 1) / 2: "MS Sans Serif" 8 point measures 323
  // pixels, 6.2 on average, and is the design font of 6 by 13 all the same.
  static FormScale Measured(int sample_extent, int char_height) {
    FormScale scale;
    const int half = static_cast<int>(kBaseUnitSample.size() / 2);
    const int width = (sample_extent / half + 1) / 2;
    scale.x_ = width > kDesignCharWidth ? width / kDesignCharWidth : 1.0;
    scale.y_ = char_height > kDesignCharHeight ? char_height / kDesignCharHeight : 1.0;
    return scale;
  }

  // This scale, widened where needed so that the control at `r` comes out at
  // least `pixels` wide: for a text whose extent outgrows the mean character
  // width. The factor gives the span one pixel more than it needs, so the
  // rounding of both edges cannot take it below; any wider factor keeps it.
  FormScale WidenedToFit(const Rect& r, int pixels) const {
    FormScale scale = *this;
    if (r.width > 0 && Apply(r).width < pixels) {
      scale.x_ = std::max(x_, (pixels + 1.0) / r.width);
    }
    return scale;
  }

  // This scale, widened until every text has its room. The factor only grows,
  // so a text that fits once keeps fitting: one pass is enough.
  FormScale FittedTo(std::initializer_list<TextRoom> texts) const {
    FormScale scale = *this;
    for (const TextRoom& text : texts) {
      scale = scale.WidenedToFit(text.room, text.pixels);
    }
    return scale;
  }

  double XFactor() const { return x_; }
  double YFactor() const { return y_; }
  bool IsDesign() const { return x_ == 1.0 && y_ == 1.0; }

  int X(int design) const { return Round(design * x_); }
  int Y(int design) const { return Round(design * y_); }

  // Edges are scaled rather than sizes, so controls that touch at design size
  // still touch, and gaps never close up through rounding.
  Rect Apply(const Rect& r) const {
    const int left = X(r.left);
    const int top = Y(r.top);
    return Rect{left, top, X(r.left + r.width) - left, Y(r.top + r.height) - top};
  }

 private:
  static int Round(double v) { return static_cast<int>(std::lround(v)); }

  double x_ = 1.0;
  double y_ = 1.0;
};

}  // namespace fu::form1
