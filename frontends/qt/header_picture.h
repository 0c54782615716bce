#pragma once
// The header picture at the top of the main window, drawn at start-up.

#include <QPixmap>
#include <QSize>

namespace fu {

QPixmap DrawHeaderPicture(QSize size);

}  // namespace fu
