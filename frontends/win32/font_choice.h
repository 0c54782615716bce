#pragma once
// The font a window of the program asks for, chosen by the program that
// creates the window; without a choice, the windows take the design font
// (gui::DesignFont). Free of <windows.h>, for the windows' headers.

#include <string>

namespace fu::gui {

struct FontChoice {
  std::string face;
  int pixel_height = 0;  // character height (em) in pixels
};

}  // namespace fu::gui
