#pragma once
// The message service on Windows: MessageBoxA, owned by the main window once
// there is one.
//
// Win32 has no box whose only button is Cancel. A box of Buttons::Cancel is
// shown with the single OK button, and its answer (the button, Enter, Escape or
// closing the box) is reported as Answer::Cancel: one button that ends the box,
// as asked, rather than a second button that offers a choice nobody reads.

#include <cstdint>
#include <string>

#include "platform/message_service.h"

// The window handle type of <windows.h>, without its macros.
struct HWND__;
typedef HWND__* HWND;

namespace fu {

// The MessageBoxA style of a box: icon, buttons, and task-modal when it has no
// owner window.
std::uint32_t MessageBoxStyle(MessageKind kind, Buttons buttons, bool owned);
// The answer of a box of the given buttons to the MessageBoxA result.
Answer MessageBoxAnswer(int result, Buttons buttons);

class Win32MessageService : public MessageService {
 public:
  explicit Win32MessageService(std::string caption) : caption_(std::move(caption)) {}

  Answer Show(std::string_view text, MessageKind kind, Buttons buttons) override;

  // The window the boxes belong to; nullptr (the default) for none.
  void SetOwner(HWND owner) { owner_ = owner; }

 private:
  std::string caption_;
  HWND owner_ = nullptr;
};

}  // namespace fu
