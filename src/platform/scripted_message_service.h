#pragma once
// A message service that answers from a script and keeps every message shown.
// Questions take the next scripted answer; when the script is used up, and for
// boxes with a single button, the box is dismissed (DismissAnswer).

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_service.h"

namespace fu {

struct ShownMessage {
  std::string text;
  MessageKind kind;
  Buttons buttons;
  Answer answer;
};

class ScriptedMessageService : public MessageService {
 public:
  ScriptedMessageService() = default;
  explicit ScriptedMessageService(std::deque<Answer> answers) : answers_(std::move(answers)) {}

  Answer Show(std::string_view text, MessageKind kind, Buttons buttons) override;

  void Script(Answer answer) { answers_.push_back(answer); }
  // Called with each question's text while the question is open, before it is
  // answered; nothing by default.
  void OnQuestion(std::function<void(std::string_view)> hook) { on_question_ = std::move(hook); }
  const std::vector<ShownMessage>& Shown() const { return shown_; }
  std::vector<std::string> Texts() const;
  // Questions asked after the script ran out.
  int Unscripted() const { return unscripted_; }
  void Clear() { shown_.clear(); }

 private:
  std::deque<Answer> answers_;
  std::function<void(std::string_view)> on_question_;
  std::vector<ShownMessage> shown_;
  int unscripted_ = 0;
};

}  // namespace fu
