#pragma once
// Sizes and placement shared by the windows. The design-time sizes are outer
// sizes measured with the classic Windows frame: 4-pixel borders and a 19-pixel
// caption. Qt sizes a window by its client area and lets the window manager add
// its own frame, so the client area is what the classic frame left inside.

#include <QFont>
#include <QSize>

class QWidget;

namespace fu {

inline constexpr int kFrameBorder = 4;
inline constexpr int kFrameCaption = 19;

// The client area of a window with the given outer size.
constexpr QSize ClientSize(int outer_width, int outer_height) {
  return {outer_width - 2 * kFrameBorder, outer_height - 2 * kFrameBorder - kFrameCaption};
}

// The windows' font: "MS Sans Serif" 8 point, with similar fonts standing in
// where it is not installed.
QFont DesignFont();

// Moves a top-level window so that a frame of the outer size is centred on its screen.
void CentreOnScreen(QWidget& window, QSize outer);

}  // namespace fu
