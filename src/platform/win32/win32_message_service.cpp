#include "platform/win32/win32_message_service.h"

#include "base/visible_text.h"
#include "platform/win32/windows_api.h"

namespace fu {

std::uint32_t MessageBoxStyle(MessageKind kind, Buttons buttons, bool owned) {
  UINT style = owned ? MB_APPLMODAL : MB_TASKMODAL;
  switch (kind) {
    case MessageKind::Error:
      style |= MB_ICONERROR;
      break;
    case MessageKind::Information:
      style |= MB_ICONINFORMATION;
      break;
    case MessageKind::Question:
      style |= MB_ICONQUESTION;
      break;
    case MessageKind::Plain:
      break;
  }
  switch (buttons) {
    case Buttons::YesNo:
      style |= MB_YESNO;
      break;
    case Buttons::YesNoDefaultNo:
      style |= MB_YESNO | MB_DEFBUTTON2;
      break;
    case Buttons::Ok:
    case Buttons::Cancel:  // the single button of a Win32 box is OK
      style |= MB_OK;
      break;
  }
  return style;
}

Answer MessageBoxAnswer(int result, Buttons buttons) {
  switch (buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoDefaultNo:
      return result == IDYES ? Answer::Yes : Answer::No;
    case Buttons::Ok:
      return Answer::Ok;
    case Buttons::Cancel:
      return Answer::Cancel;
  }
  return DismissAnswer(buttons);
}

Answer Win32MessageService::Show(std::string_view text, MessageKind kind, Buttons buttons) {
  // MessageBoxA ends the text at its first NUL.
  const std::string message = VisibleText(text);
  const int result = ::MessageBoxA(owner_, message.c_str(), caption_.c_str(),
                                   MessageBoxStyle(kind, buttons, owner_ != nullptr));
  return MessageBoxAnswer(result, buttons);
}

}  // namespace fu
