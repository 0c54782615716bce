#include "platform/scripted_message_service.h"

namespace fu {

Answer ScriptedMessageService::Show(std::string_view text, MessageKind kind, Buttons buttons) {
  Answer answer = DismissAnswer(buttons);
  if (IsQuestion(buttons)) {
    if (on_question_) {
      on_question_(text);
    }
    if (answers_.empty()) {
      ++unscripted_;
    } else {
      answer = answers_.front();
      answers_.pop_front();
    }
  }
  shown_.push_back({std::string(text), kind, buttons, answer});
  return answer;
}

std::vector<std::string> ScriptedMessageService::Texts() const {
  std::vector<std::string> texts;
  texts.reserve(shown_.size());
  for (const auto& m : shown_) {
    texts.push_back(m.text);
  }
  return texts;
}

}  // namespace fu
