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

// Positions of the controls in the client area.
constexpr QPoint kLabel1At{0, 8};
constexpr QPoint kLabel2At{144, 8};
constexpr QPoint kLabel3At{256, 8};
constexpr QRect kProgressBar1{0, 24, 489, 16};

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

QLabel* MakeLabel(QWidget& parent, const char* name, std::string_view text, QPoint at) {
  auto* label = new QLabel(FromCp1252(text), &parent);
  label->setObjectName(QString::fromLatin1(name));
  label->move(at);
  label->adjustSize();
  return label;
}

class QtFlashSplashScreen : public TFlashSplashScreen {
 public:
  QtFlashSplashScreen() {
    window_.setObjectName(QStringLiteral("FlashSplashScreen"));
    window_.setWindowTitle(FromCp1252(splash::kCaption));
    window_.setFont(DesignFont());
    window_.setFixedSize(ClientSize(splash::kWidth, splash::kHeight));
    MakeLabel(window_, "Label1", splash::kLabel1, kLabel1At);
    label2_ = MakeLabel(window_, "Label2", splash::kLabel2, kLabel2At);
    label3_ = MakeLabel(window_, "Label3", splash::kLabel3, kLabel3At);
    progress_ = new QProgressBar(&window_);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setGeometry(kProgressBar1);
    progress_->setRange(splash::kProgressMin, splash::kProgressMax);
    progress_->setValue(splash::kProgressMin);
    progress_->setTextVisible(false);
    CentreOnScreen(window_, QSize(splash::kWidth, splash::kHeight));
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

std::unique_ptr<TFlashSplashScreen> QtFlashSplash::CreateAndShow() {
  return std::make_unique<QtFlashSplashScreen>();
}

}  // namespace fu
