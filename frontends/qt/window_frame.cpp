#include "window_frame.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTextDocument>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "platform/main_window_texts.h"
#include "qt_text.h"

namespace fu {

QSize ClientSize(const form1::FormScale& scale, int outer_width, int outer_height) {
  const QSize design = ClientSize(outer_width, outer_height);
  return {scale.X(design.width()), scale.Y(design.height())};
}

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

form1::FormScale FitScale(const QWidget& window, std::initializer_list<form1::TextRoom> texts) {
  const QFontMetrics metrics = window.fontMetrics();
  const QString sample = QString::fromLatin1(form1::kBaseUnitSample.data(),
                                             static_cast<qsizetype>(form1::kBaseUnitSample.size()));
  return form1::FormScale::Measured(metrics.horizontalAdvance(sample), metrics.height())
      .FittedTo(texts);
}

QRect Scaled(const form1::FormScale& scale, const form1::Rect& r) {
  const form1::Rect scaled = scale.Apply(r);
  return {scaled.left, scaled.top, scaled.width, scaled.height};
}

namespace {

// Windows draws a push button's text inside its 2-pixel edge; the design
// widths leave that much room and little more. Styles pad a label further and
// may give every button with a text a minimum width, which the fixed widths
// of the form cannot follow.
class FormButtonStyle : public QProxyStyle {
 public:
  explicit FormButtonStyle(QStyle* base) : QProxyStyle(base) {}

  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_ButtonMargin) {
      // With the style's frame, 2 pixels each side of the text.
      return std::max(
          0, 2 * (kButtonEdge - QProxyStyle::pixelMetric(PM_DefaultFrameWidth, option, widget)));
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
  }

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    if (type != CT_PushButton) {
      return QProxyStyle::sizeFromContents(type, option, size, widget);
    }
    int room = pixelMetric(PM_ButtonMargin, option, widget) +
               2 * pixelMetric(PM_DefaultFrameWidth, option, widget);
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (button != nullptr && button->features.testFlag(QStyleOptionButton::AutoDefaultButton)) {
      room += 2 * pixelMetric(PM_ButtonDefaultIndicator, option, widget);
    }
    return size + QSize(room, room);
  }

 private:
  static constexpr int kButtonEdge = 2;
};

}  // namespace

QStyle* PushButtonStyle() {
  // One for the application, owned by it, so that it outlives every window.
  static QPointer<QStyle> style;
  if (style.isNull()) {
    style = new FormButtonStyle(QStyleFactory::create(QApplication::style()->name()));
    style->setParent(QCoreApplication::instance());
  }
  return style;
}

int LineExtent(const QPlainTextEdit& edit, const QString& line) {
  qsizetype length = line.size();
  while (length > 0 && line[length - 1].isSpace()) {
    --length;
  }
  const double text = QFontMetricsF(edit.font()).horizontalAdvance(line.left(length));
  const double margins = 2 * (edit.frameWidth() + edit.document()->documentMargin());
  return static_cast<int>(std::ceil(text + margins));
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
