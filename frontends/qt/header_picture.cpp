#include "header_picture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace fu {

namespace {

// A faint measuring grid with a trace running across it, in the lower half.
void DrawTrace(QPainter& p, QSize size) {
  p.setPen(QPen(QColor(255, 255, 255, 28), 1));
  for (int x = 0; x < size.width(); x += 16) {
    p.drawLine(x, 0, x, size.height());
  }
  for (int y = 0; y < size.height(); y += 16) {
    p.drawLine(0, y, size.width(), y);
  }
  const double base = size.height() * 0.72;
  const double amplitude = size.height() * 0.10;
  QPainterPath trace;
  for (int x = 0; x <= size.width(); ++x) {
    const double t = x / static_cast<double>(size.width());
    const double y =
        base - amplitude * std::sin(t * 6 * std::numbers::pi) * std::exp(-1.5 * t) * (0.5 + t);
    if (x == 0) {
      trace.moveTo(x, y);
    } else {
      trace.lineTo(x, y);
    }
  }
  p.setPen(QPen(QColor(140, 230, 210, 200), 2));
  p.drawPath(trace);
}

}  // namespace

QPixmap DrawHeaderPicture(QSize size) {
  QPixmap picture(size);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, size.width(), size.height());
  sky.setColorAt(0.0, QColor(24, 44, 78));
  sky.setColorAt(0.6, QColor(34, 86, 120));
  sky.setColorAt(1.0, QColor(40, 120, 128));
  p.fillRect(picture.rect(), sky);
  DrawTrace(p, size);

  const int margin = 18;
  QFont title(QStringLiteral("DejaVu Sans"));
  title.setStyleHint(QFont::SansSerif);
  title.setPixelSize(size.height() / 7);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  const QRect title_box(margin, margin, size.width() - 2 * margin, size.height() / 4);
  p.drawText(title_box, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Veridomatic PCI"));

  QFont subtitle = title;
  subtitle.setBold(false);
  subtitle.setPixelSize(size.height() / 11);
  p.setFont(subtitle);
  p.setPen(QColor(200, 225, 235));
  p.drawText(QRect(margin, title_box.bottom(), title_box.width(), size.height() / 6),
             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Flashupdate"));
  return picture;
}

}  // namespace fu
