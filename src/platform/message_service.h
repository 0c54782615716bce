#pragma once
// Port: the modal message box. Every layer that tells the user something goes
// through it; the front ends draw it, tests script it.

#include <string_view>

namespace fu {

// Question: a question to the user, not an error (the restore questions).
enum class MessageKind { Error, Information, Question, Plain };

// YesNoDefaultNo: a question whose careless answer must be No (Enter or a
// dismissal answers No).
enum class Buttons { YesNo, YesNoDefaultNo, Ok, Cancel };

enum class Answer { Yes, No, Ok, Cancel };

// What a Yes to a question risks, for the questions that may cost a card its
// data: writing another card's backup, writing a record whose conversion failed,
// converting a card whose name fits no card.
enum class Risk { None, OtherCardsBackup, FailedConversion, UnknownCardName };

class MessageService {
 public:
  virtual ~MessageService() = default;
  // Shows text (code page 1252, lines separated by CR LF) and waits for the answer.
  virtual Answer Show(std::string_view text, MessageKind kind, Buttons buttons) = 0;
  // A question marked with what its Yes risks. A box asks it as any other; a
  // service that answers for the user (the console's fixed answers) may answer
  // it apart.
  virtual Answer ShowRisky(std::string_view text, MessageKind kind, Buttons buttons, Risk risk) {
    static_cast<void>(risk);
    return Show(text, kind, buttons);
  }
};

// The answer a box gives when it is closed without a choice: No for a question,
// otherwise its only button.
constexpr Answer DismissAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoDefaultNo:
      return Answer::No;
    case Buttons::Ok:
      return Answer::Ok;
    case Buttons::Cancel:
      return Answer::Cancel;
  }
  return Answer::Cancel;
}

constexpr bool IsQuestion(Buttons buttons) {
  return buttons == Buttons::YesNo || buttons == Buttons::YesNoDefaultNo;
}

}  // namespace fu
