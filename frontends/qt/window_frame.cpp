#include "window_frame.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include "platform/main_window_texts.h"
#include "qt_text.h"

namespace fu {

QFont DesignFont() {
  const QString family = FromCp1252(form1::kFont);
  // Narrow sans-serif faces first: the captions were laid out for a narrow font.
  static const bool substituted = [&] {
    QFont::insertSubstitutions(
        family, {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans"),
                 QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")});
    return true;
  }();
  static_cast<void>(substituted);
  QFont font(family, form1::kFontPoints);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

void CentreOnScreen(QWidget& window, QSize outer) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) {
    return;
  }
  window.move(
      QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, outer, screen->availableGeometry())
          .topLeft());
}

}  // namespace fu
