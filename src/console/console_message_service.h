#pragma once
// The message service of terminal programs: each message is written to a stream
// as UTF-8 text with a German prefix by kind. Questions take a fixed answer when
// one is set, are asked on the terminal when the input is one, and are otherwise
// answered No, so that a program run from a script never waits.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "platform/message_service.h"

namespace fu {

// "Fehler: ", "Hinweis: ", "Frage: " or nothing (code page 1252).
std::string_view MessagePrefix(MessageKind kind);

// A code page 1252 message as terminal text: UTF-8, each CR LF (or lone CR) a newline.
std::string TerminalText(std::string_view text);

class ConsoleMessageService : public MessageService {
 public:
  // fixedAnswer, when set, is Yes or No and answers every question.
  ConsoleMessageService(std::ostream& out, std::istream& in, bool inputIsTerminal,
                        std::optional<Answer> fixedAnswer = std::nullopt);

  Answer Show(std::string_view text, MessageKind kind, Buttons buttons) override;

 private:
  Answer Ask();

  std::ostream& out_;
  std::istream& in_;
  bool inputIsTerminal_;
  std::optional<Answer> fixedAnswer_;
};

}  // namespace fu
