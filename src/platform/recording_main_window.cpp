#include "platform/recording_main_window.h"

#include "platform/main_window_texts.h"

namespace fu {

RecordingMainWindow::RecordingMainWindow() {
  const Control all[] = {Control::ComboBox1,    Control::Edit1,   Control::Edit2,
                         Control::Edit3,        Control::Memo1,   Control::Label6,
                         Control::ProgressBar1, Control::Button1, Control::Button2,
                         Control::Button3,      Control::Button4};
  for (const Control c : all) {
    texts_[c] = "";
    visible_[c] = true;
    enabled_[c] = true;
  }
  texts_[Control::Edit1] = form1::kEdit1;
  texts_[Control::Edit2] = form1::kEdit2;
  texts_[Control::Edit3] = form1::kEdit3;
  visible_[Control::Label6] = false;
  visible_[Control::ProgressBar1] = false;
  visible_[Control::Button4] = false;
}

void RecordingMainWindow::SetText(Control control, std::string_view text) {
  texts_[control] = text;
}

void RecordingMainWindow::SetVisible(Control control, bool visible) {
  visible_[control] = visible;
}

void RecordingMainWindow::SetEnabled(Control control, bool enabled) {
  enabled_[control] = enabled;
}

void RecordingMainWindow::SetProgress(int percent) {
  progress_ = percent;
  steps_.push_back(percent);
}

void RecordingMainWindow::AddItem(std::string_view text) {
  items_.emplace_back(text);
}

void RecordingMainWindow::SelectItem(int index) {
  selected_ = index >= 0 && static_cast<std::size_t>(index) < items_.size() ? index : -1;
}

}  // namespace fu
