#include "app/protocol_messages.h"

#include <string>

#include "base/cp1252.h"

namespace fu {

namespace {

std::string_view KindText(MessageKind kind) {
  switch (kind) {
    case MessageKind::Error:
      return "Fehler";
    case MessageKind::Information:
      return "Information";
    case MessageKind::Question:
      return "Frage";
    case MessageKind::Plain:
      return "Hinweis";
  }
  return "Hinweis";
}

std::string_view AnswerText(Answer answer) {
  switch (answer) {
    case Answer::Yes:
      return "Ja";
    case Answer::No:
      return "Nein";
    case Answer::Ok:
      return "OK";
    case Answer::Cancel:
      return "Abbrechen";
  }
  return "Abbrechen";
}

// The text on one line: each line end becomes " | ".
std::string OneLine(std::string_view text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
    }
    if (text[i] == '\r' || text[i] == '\n') {
      line += " | ";
    } else {
      line += text[i];
    }
  }
  return line;
}

}  // namespace

template <typename Ask>
Answer ProtocolMessages::Recorded(std::string_view text, MessageKind kind, Ask ask) {
  if (protocol_.On()) {
    protocol_.Record("Meldung (" + std::string(KindText(kind)) + "): " + OneLine(text));
  }
  const Answer answer = ask();
  if (protocol_.On()) {
    protocol_.Record("Antwort: " + std::string(AnswerText(answer)));
  }
  return answer;
}

Answer ProtocolMessages::Show(std::string_view text, MessageKind kind, Buttons buttons) {
  return Recorded(text, kind, [&] { return inner_.Show(text, kind, buttons); });
}

Answer ProtocolMessages::ShowRisky(std::string_view text, MessageKind kind, Buttons buttons,
                                   Risk risk) {
  return Recorded(text, kind, [&] { return inner_.ShowRisky(text, kind, buttons, risk); });
}

}  // namespace fu
