#include "qt_main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <vector>

#include "header_picture.h"
#include "platform/main_window_texts.h"
#include "qt_text.h"
#include "window_frame.h"

namespace fu {

namespace {

// A control and its design place; placed once the window knows its scale.
struct Placed {
  QWidget* widget;
  form1::Rect place;
};

template <typename W>
W* Make(std::vector<Placed>& controls, QWidget* parent, const char* name,
        const form1::Rect& place) {
  auto* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  controls.push_back({widget, place});
  return widget;
}

// A label sized to its text, as an auto-sized label is.
QLabel* MakeLabel(std::vector<Placed>& controls, QWidget* parent, const char* name,
                  std::string_view text, const form1::Rect& place) {
  auto* label = Make<QLabel>(controls, parent, name, place);
  label->setText(FromCp1252(text));
  return label;
}

QLineEdit* MakeEdit(std::vector<Placed>& controls, QWidget* parent, const char* name,
                    std::string_view text, const form1::Rect& place) {
  auto* edit = Make<QLineEdit>(controls, parent, name, place);
  edit->setText(FromCp1252(text));
  edit->setCursorPosition(0);
  return edit;
}

QPushButton* MakeButton(std::vector<Placed>& controls, QWidget* parent, const char* name,
                        std::string_view text, const form1::Rect& place) {
  auto* button = Make<QPushButton>(controls, parent, name, place);
  button->setText(FromCp1252(text));
  button->setAutoDefault(false);
  button->setStyle(PushButtonStyle());
  return button;
}

void MakeBevel(std::vector<Placed>& controls, QWidget* parent, const char* name,
               const form1::Rect& place) {
  auto* bevel = Make<QFrame>(controls, parent, name, place);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
}

// The room of a label: from its left edge to the control beside it.
form1::Rect UpTo(const form1::Rect& label, int right) {
  return {label.left, label.top, right - label.left, label.height};
}

}  // namespace

QtMainWindow::QtMainWindow(QWidget* parent) : QtMainWindow(DesignFont(), parent) {}

QtMainWindow::QtMainWindow(const QFont& font, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(FromCp1252(form1::kCaption));
  setFont(font);

  std::vector<Placed> controls;
  auto* image1 = Make<QLabel>(controls, this, "Image1", form1::kImage1);
  image1->setScaledContents(true);
  MakeBevel(controls, this, "Bevel1", form1::kBevel1);
  MakeBevel(controls, this, "Bevel2", form1::kBevel2);

  auto* label1 = MakeLabel(controls, this, "Label1", form1::kLabel1, form1::kLabel1Pos);
  combo_box1_ = Make<QComboBox>(controls, this, "ComboBox1", form1::kComboBox1);
  combo_box1_->setEditable(false);
  auto* label2 = MakeLabel(controls, this, "Label2", form1::kLabel2, form1::kLabel2Pos);
  edit1_ = MakeEdit(controls, this, "Edit1", form1::kEdit1, form1::kEdit1Pos);
  auto* label3 = MakeLabel(controls, this, "Label3", form1::kLabel3, form1::kLabel3Pos);
  edit2_ = MakeEdit(controls, this, "Edit2", form1::kEdit2, form1::kEdit2Pos);
  auto* label4 = MakeLabel(controls, this, "Label4", form1::kLabel4, form1::kLabel4Pos);
  edit3_ = MakeEdit(controls, this, "Edit3", form1::kEdit3, form1::kEdit3Pos);

  const QString memo_line1 = FromCp1252(form1::kMemo1Line1);
  const QString memo_line2 = FromCp1252(form1::kMemo1Line2);
  memo1_ = Make<QPlainTextEdit>(controls, this, "Memo1", form1::kMemo1);
  memo1_->setReadOnly(true);
  memo1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo1_->document()->setDocumentMargin(1);
  memo1_->setPlainText(memo_line1 + QLatin1Char('\n') + memo_line2);

  label6_ = MakeLabel(controls, this, "Label6", form1::kLabel6, form1::kLabel6Pos);
  label6_->hide();
  progress_bar1_ = Make<QProgressBar>(controls, this, "ProgressBar1", form1::kProgressBar1);
  progress_bar1_->setRange(0, 100);
  progress_bar1_->setValue(0);
  progress_bar1_->setTextVisible(false);
  progress_bar1_->hide();

  button4_ = MakeButton(controls, this, "Button4", form1::kButton4, form1::kButton4Pos);
  button4_->hide();
  button2_ = MakeButton(controls, this, "Button2", form1::kButton2, form1::kButton2Pos);
  button3_ = MakeButton(controls, this, "Button3", form1::kButton3, form1::kButton3Pos);
  button1_ = MakeButton(controls, this, "Button1", form1::kButton1, form1::kButton1Pos);

  const int field = form1::kComboBox1.left;  // where the fields beside the labels start
  const form1::FormScale scale =
      FitScale(*this, {
                          {UpTo(form1::kLabel1Pos, field), label1->sizeHint().width()},
                          {UpTo(form1::kLabel2Pos, field), label2->sizeHint().width()},
                          {UpTo(form1::kLabel3Pos, field), label3->sizeHint().width()},
                          {UpTo(form1::kLabel4Pos, field), label4->sizeHint().width()},
                          {form1::kProgressBar1, label6_->sizeHint().width()},
                          {form1::kMemo1, LineExtent(*memo1_, memo_line1)},
                          {form1::kMemo1, LineExtent(*memo1_, memo_line2)},
                          {form1::kButton1Pos, button1_->sizeHint().width()},
                          {form1::kButton2Pos, button2_->sizeHint().width()},
                          {form1::kButton3Pos, button3_->sizeHint().width()},
                          {form1::kButton4Pos, button4_->sizeHint().width()},
                      });
  for (const Placed& control : controls) {
    control.widget->setGeometry(Scaled(scale, control.place));
    if (control.place.width == 0) {
      control.widget->adjustSize();  // an auto-sized label
    }
  }
  image1->setPixmap(DrawHeaderPicture(image1->size()));
  setFixedSize(ClientSize(scale, form1::kWidth, form1::kHeight));

  setTabOrder(combo_box1_, edit1_);
  setTabOrder(edit1_, edit2_);
  setTabOrder(edit2_, edit3_);
  setTabOrder(edit3_, memo1_);
  setTabOrder(memo1_, button4_);
  setTabOrder(button4_, button2_);
  setTabOrder(button2_, button3_);
  setTabOrder(button3_, button1_);
  combo_box1_->setFocus();

  // Only a choice by the user refreshes: AddItem and SelectItem change the list
  // without emitting activated.
  connect(combo_box1_, &QComboBox::activated, this, [this] { Run(&TForm1::ComboBox1Change); });
  connect(button1_, &QPushButton::clicked, this, [this] { Run(&TForm1::Button1Click); });
  connect(button2_, &QPushButton::clicked, this, [this] { Run(&TForm1::Button2Click); });
  connect(button3_, &QPushButton::clicked, this, [this] { Run(&TForm1::Button3Click); });
  connect(button4_, &QPushButton::clicked, this, [this] { Run(&TForm1::Button4Click); });

  CentreOnScreen(*this, OuterSize(size()));
}

QtMainWindow::~QtMainWindow() {
  SetHourglass(false);
}

void QtMainWindow::Start() {
  // Lets the window draw itself before the start-up blocks.
  QCoreApplication::processEvents();
  SetHourglass(true);
  Run(&TForm1::FormCreate);
  SetHourglass(false);
}

void QtMainWindow::Run(ActionResult (TForm1::*handler)()) {
  if (form_ == nullptr || in_event_ || closed_) {
    return;
  }
  in_event_ = true;
  (form_->*handler)();
  in_event_ = false;
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
  if (in_event_ && !quitting_) {
    event->ignore();  // an action is running; it must end first
    return;
  }
  if (!closed_ && form_ != nullptr) {
    form_->FormClose();
  }
  closed_ = true;
  event->accept();
}

QWidget& QtMainWindow::Widget(Control control) const {
  switch (control) {
    case Control::ComboBox1:
      return *combo_box1_;
    case Control::Edit1:
      return *edit1_;
    case Control::Edit2:
      return *edit2_;
    case Control::Edit3:
      return *edit3_;
    case Control::Memo1:
      return *memo1_;
    case Control::Label6:
      return *label6_;
    case Control::ProgressBar1:
      return *progress_bar1_;
    case Control::Button1:
      return *button1_;
    case Control::Button2:
      return *button2_;
    case Control::Button3:
      return *button3_;
    case Control::Button4:
      return *button4_;
  }
  return *combo_box1_;
}

void QtMainWindow::SetText(Control control, std::string_view text) {
  const QString decoded = FromCp1252(text);
  QLineEdit* edit = nullptr;
  QPushButton* button = nullptr;
  switch (control) {
    case Control::ComboBox1:
      // A drop-down list shows only its items: the text selects the matching one.
      combo_box1_->setCurrentIndex(combo_box1_->findText(decoded));
      return;
    case Control::Edit1:
      edit = edit1_;
      break;
    case Control::Edit2:
      edit = edit2_;
      break;
    case Control::Edit3:
      edit = edit3_;
      break;
    case Control::Memo1:
      memo1_->setPlainText(MessageText(text));
      return;
    case Control::Label6:
      label6_->setText(decoded);
      label6_->adjustSize();
      return;
    case Control::ProgressBar1:
      return;  // a progress bar has no text
    case Control::Button1:
      button = button1_;
      break;
    case Control::Button2:
      button = button2_;
      break;
    case Control::Button3:
      button = button3_;
      break;
    case Control::Button4:
      button = button4_;
      break;
  }
  if (edit != nullptr) {
    edit->setText(decoded);
    edit->setCursorPosition(0);
  } else if (button != nullptr) {
    button->setText(decoded);
  }
}

void QtMainWindow::SetVisible(Control control, bool visible) {
  Widget(control).setVisible(visible);
}

void QtMainWindow::SetEnabled(Control control, bool enabled) {
  Widget(control).setEnabled(enabled);
}

void QtMainWindow::SetProgress(int percent) {
  progress_bar1_->setValue(percent);
}

void QtMainWindow::AddItem(std::string_view text) {
  // Adding keeps the selection: a first item is not selected by being added.
  const int selected = combo_box1_->currentIndex();
  combo_box1_->addItem(FromCp1252(text));
  combo_box1_->setCurrentIndex(selected);
}

void QtMainWindow::SelectItem(int index) {
  combo_box1_->setCurrentIndex(index);
}

int QtMainWindow::SelectedItem() const {
  return combo_box1_->currentIndex();
}

void QtMainWindow::ProcessMessages() {
  QCoreApplication::processEvents();
}

void QtMainWindow::SetHourglass(bool on) {
  if (on == hourglass_) {
    return;
  }
  hourglass_ = on;
  if (on) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void QtMainWindow::Quit() {
  quitting_ = true;
  close();
}

}  // namespace fu
