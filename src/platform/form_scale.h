#pragma once
// Scaling of a window laid out in design units to the font it really got.
//
// The control tables give positions and sizes for "MS Sans Serif" 8 point at
// 96 DPI, whose dialog base units are 6 by 13 pixels. A window measures its
// font as Windows measures dialog base units (the mean width of the 52 Latin
// letters, and the character height) and scales every position and size by
// the ratio to the design units, each axis on its own. A font that is not
// larger than the design font leaves the layout exactly as designed: the
// factor never falls below 1.

#include <cmath>
#include <string_view>

#include "platform/main_window_texts.h"

namespace fu::form1 {

// The text whose extent, divided by its length, is the mean character width.
inline constexpr std::string_view kBaseUnitSample =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr double kDesignCharWidth = 6.0;
inline constexpr double kDesignCharHeight = 13.0;

class FormScale {
 public:
  FormScale() = default;

  // sample_extent: the width of kBaseUnitSample in the window's font;
  // char_height: the font's character height (ascent plus descent).
  static FormScale Measured(int sample_extent, int char_height) {
    FormScale scale;
    const double width = static_cast<double>(sample_extent) / kBaseUnitSample.size();
    scale.x_ = width > kDesignCharWidth ? width / kDesignCharWidth : 1.0;
    scale.y_ = char_height > kDesignCharHeight ? char_height / kDesignCharHeight : 1.0;
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
