#include "qt_flash_splash.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include "qt_text.h"
#include "window_frame.h"

namespace fu {

namespace {

// Ignores a close asked for by the window manager: the window closes with its write.
class SplashWindow : public QWidget {
 public:
  SplashWindow()
      : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                             Qt::WindowTitleHint) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (event->spontaneous()) {
      event->ignore();
    }
  }
};

QLabel* MakeLabel(QWidget& parent, const char* name, std::string_view text) {
  auto* label = new QLabel(FromCp1252(text), &parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

void Place(QLabel& label, const form1::FormScale& scale, const form1::Rect& place) {
  label.move(scale.X(place.left), scale.Y(place.top));
  label.adjustSize();
}

class QtFlashSplashScreen : public TFlashSplashScreen {
 public:
  explicit QtFlashSplashScreen(const QFont& font) {
    window_.setObjectName(QStringLiteral("FlashSplashScreen"));
    window_.setWindowTitle(FromCp1252(splash::kCaption));
    window_.setFont(font);
    auto* label1 = MakeLabel(window_, "Label1", splash::kLabel1);
    label2_ = MakeLabel(window_, "Label2", splash::kLabel2);
    label3_ = MakeLabel(window_, "Label3", splash::kLabel3);
    progress_ = new QProgressBar(&window_);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setRange(splash::kProgressMin, splash::kProgressMax);
    progress_->setValue(splash::kProgressMin);
    progress_->setTextVisible(false);

    const form1::FormScale scale =
        FitScale(window_, {{{splash::kLabel1Pos.left, splash::kLabel1Pos.top,
                             splash::kLabel2Pos.left - splash::kLabel1Pos.left, 0},
                            label1->sizeHint().width()}});
    Place(*label1, scale, splash::kLabel1Pos);
    Place(*label2_, scale, splash::kLabel2Pos);
    Place(*label3_, scale, splash::kLabel3Pos);
    progress_->setGeometry(Scaled(scale, splash::kProgressBar1Pos));
    window_.setFixedSize(ClientSize(scale, splash::kWidth, splash::kHeight));
    CentreOnScreen(window_, OuterSize(window_.size()));
    window_.show();
  }

  void SetProgressBar1(int percent) override { progress_->setValue(percent); }
  void SetLabel2(std::string_view text) override { SetLabel(*label2_, text); }
  void SetLabel3(std::string_view text) override { SetLabel(*label3_, text); }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  void Close() override { window_.hide(); }

 private:
  static void SetLabel(QLabel& label, std::string_view text) {
    label.setText(FromCp1252(text));
    label.adjustSize();
  }

  SplashWindow window_;
  QLabel* label2_;
  QLabel* label3_;
  QProgressBar* progress_;
};

}  // namespace

QtFlashSplash::QtFlashSplash() : font_(DesignFont()) {}

std::unique_ptr<TFlashSplashScreen> QtFlashSplash::CreateAndShow() {
  return std::make_unique<QtFlashSplashScreen>(font_);
}

}  // namespace fu
