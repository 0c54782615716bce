#pragma once
// A main window that draws nothing and keeps what it was told: the state of
// every control, as the design-time values start it, and the progress values
// in order. Tests look at it; the console front end prints from it.

#include <map>
#include <string>
#include <vector>

#include "platform/main_window_view.h"

namespace fu {

class RecordingMainWindow : public MainWindowView {
 public:
  RecordingMainWindow();

  void SetText(Control control, std::string_view text) override;
  void SetVisible(Control control, bool visible) override;
  void SetEnabled(Control control, bool enabled) override;
  void SetProgress(int percent) override;
  void AddItem(std::string_view text) override;
  void SelectItem(int index) override;
  int SelectedItem() const override { return selected_; }
  void ProcessMessages() override { ++repaints_; }
  void SetHourglass(bool on) override { hourglass_ = on; }
  void Quit() override { quit_ = true; }

  const std::string& Text(Control control) const { return texts_.at(control); }
  bool Visible(Control control) const { return visible_.at(control); }
  bool Enabled(Control control) const { return enabled_.at(control); }
  const std::vector<std::string>& Items() const { return items_; }
  int Progress() const { return progress_; }
  const std::vector<int>& ProgressSteps() const { return steps_; }
  int Repaints() const { return repaints_; }
  bool Hourglass() const { return hourglass_; }
  bool QuitRequested() const { return quit_; }

 private:
  std::map<Control, std::string> texts_;
  std::map<Control, bool> visible_;
  std::map<Control, bool> enabled_;
  std::vector<std::string> items_;
  int selected_ = -1;
  int progress_ = 0;
  std::vector<int> steps_;
  int repaints_ = 0;
  bool hourglass_ = false;
  bool quit_ = false;
};

}  // namespace fu
