#pragma once
// The main window "Form1" as a Qt widget: every control at its design-time place,
// scaled to the window's font, with its design-time text and visibility. The controller drives it
// through the view port; the window hands the user's clicks and card choices to the controller.

#include <QFont>
#include <QWidget>

#include "app/flash_update_kunde_unit.h"
#include "platform/main_window_view.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace fu {

class QtMainWindow : public QWidget, public MainWindowView {
  Q_OBJECT

 public:
  // In the design font, or in the font given; the layout scales to the font.
  explicit QtMainWindow(QWidget* parent = nullptr);
  explicit QtMainWindow(const QFont& font, QWidget* parent = nullptr);
  ~QtMainWindow() override;

  // The controller that gets the window's events; set before Start.
  void Attach(TForm1& form) { form_ = &form; }
  // Runs the controller's start-up, with the hourglass on; the window is shown first
  // so that the user sees it during the start-up's waits.
  void Start();

  void SetText(Control control, std::string_view text) override;
  void SetVisible(Control control, bool visible) override;
  void SetEnabled(Control control, bool enabled) override;
  void SetProgress(int percent) override;
  void AddItem(std::string_view text) override;
  void SelectItem(int index) override;
  int SelectedItem() const override;
  void ProcessMessages() override;
  void SetHourglass(bool on) override;
  void Quit() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget& Widget(Control control) const;
  // Runs one controller event. Clicks that arrive while an event runs (its
  // progress steps let the window take input) are dropped, so that no second
  // action starts in the middle of a write.
  void Run(ActionResult (TForm1::*handler)());

  TForm1* form_ = nullptr;
  bool in_event_ = false;
  bool quitting_ = false;
  bool closed_ = false;
  bool hourglass_ = false;

  QComboBox* combo_box1_;
  QLineEdit* edit1_;
  QLineEdit* edit2_;
  QLineEdit* edit3_;
  QPlainTextEdit* memo1_;
  QLabel* label6_;
  QProgressBar* progress_bar1_;
  QPushButton* button1_;
  QPushButton* button2_;
  QPushButton* button3_;
  QPushButton* button4_;
};

}  // namespace fu
