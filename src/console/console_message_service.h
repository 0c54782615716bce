#pragma once
// The message service of terminal programs: each message is written to a stream
// as UTF-8 text with a German prefix by kind. Questions take a fixed answer when
// one is set, are asked on the terminal when the input is one, and are otherwise
// answered No, so that a program run from a script never waits. A program that
// writes cards keeps the questions that risk one apart: a fixed Yes does not
// answer them, only each one's own option does.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_service.h"

namespace fu {

// "Fehler: ", "Hinweis: ", "Frage: " or nothing (code page 1252).
std::string_view MessagePrefix(MessageKind kind);

// A code page 1252 message as terminal text: UTF-8, each CR LF (or lone CR) a newline.
std::string TerminalText(std::string_view text);

// The option that answers a question of this risk Yes: "--yes-other-card",
// "--yes-failed-conversion", "--yes-unknown-name"; empty for Risk::None.
std::string_view RiskOption(Risk risk);

class ConsoleMessageService : public MessageService {
 public:
  // fixedAnswer, when set, is Yes or No and answers every question. riskyYes,
  // when set, keeps the risky questions apart: those of the risks it lists are
  // answered Yes (unless fixedAnswer is No); a fixed Yes answers the others No
  // and names their option; without a fixed answer they are asked as any other.
  ConsoleMessageService(std::ostream& out, std::istream& in, bool inputIsTerminal,
                        std::optional<Answer> fixedAnswer = std::nullopt,
                        std::optional<std::vector<Risk>> riskyYes = std::nullopt);

  Answer Show(std::string_view text, MessageKind kind, Buttons buttons) override;
  Answer ShowRisky(std::string_view text, MessageKind kind, Buttons buttons, Risk risk) override;

 private:
  void Write(std::string_view text, MessageKind kind);
  Answer Ask(Risk risk);

  std::ostream& out_;
  std::istream& in_;
  bool inputIsTerminal_;
  std::optional<Answer> fixedAnswer_;
  std::optional<std::vector<Risk>> riskyYes_;
};

}  // namespace fu
