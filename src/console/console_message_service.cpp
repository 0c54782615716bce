#include "console/console_message_service.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "base/cp1252.h"
#include "base/visible_text.h"

namespace fu {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return lower;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<Answer> ReadAnswer(std::string_view line) {
  const std::string word = Lower(Trim(line));
  if (word == "j" || word == "ja" || word == "y" || word == "yes") {
    return Answer::Yes;
  }
  if (word == "n" || word == "nein" || word == "no") {
    return Answer::No;
  }
  return std::nullopt;
}

std::string_view Letter(Answer answer) {
  return answer == Answer::Yes ? "j" : "n";
}

constexpr std::string_view kPrompt = "[j/n] ";

}  // namespace

std::string_view MessagePrefix(MessageKind kind) {
  switch (kind) {
    case MessageKind::Error:
      return "Fehler: "_cp;
    case MessageKind::Information:
      return "Hinweis: "_cp;
    case MessageKind::Question:
      return "Frage: ";
    case MessageKind::Plain:
      return {};
  }
  return {};
}

std::string_view RiskOption(Risk risk) {
  switch (risk) {
    case Risk::OtherCardsBackup:
      return "--yes-other-card";
    case Risk::FailedConversion:
      return "--yes-failed-conversion";
    case Risk::UnknownCardName:
      return "--yes-unknown-name";
    case Risk::None:
      return {};
  }
  return {};
}

std::string TerminalText(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
    } else {
      lines += text[i];
    }
  }
  return Cp1252ToUtf8(lines);
}

ConsoleMessageService::ConsoleMessageService(std::ostream& out, std::istream& in,
                                             bool inputIsTerminal,
                                             std::optional<Answer> fixedAnswer,
                                             std::optional<std::vector<Risk>> riskyYes)
    : out_(out),
      in_(in),
      inputIsTerminal_(inputIsTerminal),
      fixedAnswer_(fixedAnswer),
      riskyYes_(std::move(riskyYes)) {}

void ConsoleMessageService::Write(std::string_view text, MessageKind kind) {
  std::string message(MessagePrefix(kind));
  message += VisibleText(text);
  out_ << TerminalText(message) << '\n';
}

Answer ConsoleMessageService::Show(std::string_view text, MessageKind kind, Buttons buttons) {
  Write(text, kind);
  if (!IsQuestion(buttons)) {
    out_.flush();
    return DismissAnswer(buttons);
  }
  return Ask(Risk::None);
}

Answer ConsoleMessageService::ShowRisky(std::string_view text, MessageKind kind, Buttons buttons,
                                        Risk risk) {
  if (!IsQuestion(buttons) || !riskyYes_) {
    return Show(text, kind, buttons);
  }
  Write(text, kind);
  return Ask(risk);
}

Answer ConsoleMessageService::Ask(Risk risk) {
  const bool fixedNo = fixedAnswer_ && *fixedAnswer_ != Answer::Yes;
  if (risk != Risk::None && !fixedNo) {
    const std::string option(RiskOption(risk));
    if (std::ranges::count(*riskyYes_, risk) > 0) {
      out_ << kPrompt << "j (vorgegeben mit " << option << ")" << std::endl;
      return Answer::Yes;
    }
    if (fixedAnswer_) {
      out_ << kPrompt << "n (nur " << option << " beantwortet diese Frage mit Ja)" << std::endl;
      return Answer::No;
    }
  }
  if (fixedAnswer_) {
    const Answer answer = *fixedAnswer_ == Answer::Yes ? Answer::Yes : Answer::No;
    out_ << kPrompt << Letter(answer) << TerminalText(" (vorgegeben)"_cp) << std::endl;
    return answer;
  }
  if (!inputIsTerminal_) {
    out_ << kPrompt << "n" << TerminalText(" (keine Eingabe möglich)"_cp) << std::endl;
    return Answer::No;
  }
  out_ << kPrompt << std::flush;
  std::string line;
  while (std::getline(in_, line)) {
    if (const auto answer = ReadAnswer(line)) {
      return *answer;
    }
    out_ << TerminalText("Bitte j oder n eingeben "_cp) << kPrompt << std::flush;
  }
  out_ << '\n' << "n" << TerminalText(" (Ende der Eingabe)"_cp) << std::endl;
  return Answer::No;
}

}  // namespace fu
