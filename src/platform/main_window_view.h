#pragma once
// Port: the main window as the controller sees it. The controls keep their form
// names; the view only shows what it is told and reports nothing back but the
// selected list item.

#include <string_view>

namespace fu {

enum class Control {
  ComboBox1,     // card list
  Edit1,         // serial number
  Edit2,         // customer
  Edit3,         // record revision
  Memo1,         // the note that an update is needed
  Label6,        // "Flash wird geschrieben, bitte warten..."
  ProgressBar1,  // progress of an update, 0 to 100
  Button1,       // "Exit"
  Button2,       // "Flash upgraden"
  Button3,       // "Flash downgraden"
  Button4,       // "Dump"
};

class MainWindowView {
 public:
  virtual ~MainWindowView() = default;
  virtual void SetText(Control control, std::string_view text) = 0;
  virtual void SetVisible(Control control, bool visible) = 0;
  virtual void SetEnabled(Control control, bool enabled) = 0;
  virtual void SetProgress(int percent) = 0;

  virtual void AddItem(std::string_view text) = 0;
  virtual void SelectItem(int index) = 0;
  // The selected list item, -1 when none.
  virtual int SelectedItem() const = 0;

  // Lets the window process its pending messages once, so changes show.
  virtual void ProcessMessages() = 0;
  // The hourglass cursor for the whole application, or the normal one.
  virtual void SetHourglass(bool on) = 0;
  // Ends the application.
  virtual void Quit() = 0;
};

}  // namespace fu
