#pragma once
// Sizes and placement shared by the windows. The design-time sizes are outer
// sizes measured with the classic Windows frame (form1::kClassicFrameX/Y). Qt sizes a window by its
// client area and lets the window manager add its own frame, so the client area is what the classic
// frame left inside.
//
// Positions and sizes are design units of the design font. A window measures
// the font it got and scales its client area and every control by that; where
// a fixed text would still not fit its control (a face whose words run wider
// than its mean letter), the horizontal scale grows until it does.

#include <QFont>
#include <QRect>
#include <QSize>
#include <initializer_list>

#include "platform/form_scale.h"

class QPlainTextEdit;
class QStyle;
class QWidget;

namespace fu {

// The client area of a window with the given outer size, at design metrics.
constexpr QSize ClientSize(int outer_width, int outer_height) {
  return {outer_width - form1::kClassicFrameX, outer_height - form1::kClassicFrameY};
}

// The client area of a window with the given design outer size, scaled.
QSize ClientSize(const form1::FormScale& scale, int outer_width, int outer_height);

// The outer size of a window with the given client area.
constexpr QSize OuterSize(QSize client) {
  return {client.width() + form1::kClassicFrameX, client.height() + form1::kClassicFrameY};
}

// The windows' font: "MS Sans Serif" 8 point, with similar fonts standing in
// where it is not installed.
QFont DesignFont();

// The scale of a window laid out in its font: the font's measured scale,
// widened until every text fits its room.
form1::FormScale FitScale(const QWidget& window, std::initializer_list<form1::TextRoom> texts);

QRect Scaled(const form1::FormScale& scale, const form1::Rect& r);

// The style of the windows' push buttons: the application's style, but a
// button asks only for the room of the design's buttons around its text.
QStyle* PushButtonStyle();

// The extent of a line of a plain-text edit plus its frame and document margins,
// without trailing blanks, which never wrap a line.
int LineExtent(const QPlainTextEdit& edit, const QString& line);

// Moves a top-level window so that a frame of the outer size is centred on its screen.
void CentreOnScreen(QWidget& window, QSize outer);

}  // namespace fu
