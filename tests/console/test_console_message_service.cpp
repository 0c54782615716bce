#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "base/cp1252.h"
#include "console/console_message_service.h"

namespace fu {
namespace {

struct Console {
  std::ostringstream out;
  std::istringstream in;
  Answer Ask(std::string input, bool terminal, std::optional<Answer> fixed = std::nullopt) {
    in.str(std::move(input));
    ConsoleMessageService service(out, in, terminal, fixed);
    return service.Show("Weiter?", MessageKind::Plain, Buttons::YesNo);
  }
};

TEST(ConsoleMessageService, WritesUtf8LinesWithPrefixByKind) {
  std::ostringstream out;
  std::istringstream in;
  ConsoleMessageService service(out, in, true);
  EXPECT_EQ(service.Show("Zähler\r\nzweite Zeile"_cp, MessageKind::Error, Buttons::Cancel),
            Answer::Cancel);
  EXPECT_EQ(service.Show("Flash aktualisiert", MessageKind::Information, Buttons::Ok), Answer::Ok);
  EXPECT_EQ(service.Show("Dump\r\n\r\nfertig", MessageKind::Plain, Buttons::Ok), Answer::Ok);
  EXPECT_EQ(service.Show("Zurückschreiben?"_cp, MessageKind::Question, Buttons::Ok), Answer::Ok);
  // Bytes of a damaged record inside a message: shown, never cutting it.
  using namespace std::string_view_literals;
  service.Show("'$D\0\x1B\x81' ist kein g\xFCltiger Integerwert"sv, MessageKind::Error,
               Buttons::Ok);
  EXPECT_EQ(out.str(),
            "Fehler: Z\xC3\xA4hler\nzweite Zeile\n"
            "Hinweis: Flash aktualisiert\n"
            "Dump\n\nfertig\n"
            "Frage: Zur\xC3\xBC"
            "ckschreiben?\n"
            "Fehler: '$D\\x00\\x1B\\x81' ist kein g\xC3\xBCltiger Integerwert\n");
}

TEST(ConsoleMessageService, FixedAnswerIsShownAndNoInputIsRead) {
  for (const Answer fixed : {Answer::Yes, Answer::No}) {
    Console c;
    EXPECT_EQ(c.Ask("n\n", true, fixed), fixed);
    EXPECT_NE(c.out.str().find(fixed == Answer::Yes ? "[j/n] j" : "[j/n] n"), std::string::npos);
    EXPECT_EQ(c.in.tellg(), 0);
  }
}

// A question that risks a card: --yes answers it No and names the option that
// answers it Yes; that option alone answers it Yes; --no answers it No; without
// fixed answers a terminal asks it. A program that keeps no risks apart
// (flashrecord) lets --yes answer it.
TEST(ConsoleMessageService, RiskyQuestionIsAnsweredYesOnlyByItsOwnOption) {
  const std::vector<Risk> other_card = {Risk::OtherCardsBackup};
  const struct {
    const char* name;
    std::optional<Answer> fixed;
    std::optional<std::vector<Risk>> risky_yes;
    bool terminal;
    Answer answer;
    const char* said;
  } kRows[] = {
      {"--yes", Answer::Yes, std::vector<Risk>{}, false, Answer::No,
       "[j/n] n (nur --yes-other-card beantwortet diese Frage mit Ja)\n"},
      {"--yes, another risk's option", Answer::Yes, std::vector<Risk>{Risk::FailedConversion},
       false, Answer::No, "[j/n] n (nur --yes-other-card beantwortet diese Frage mit Ja)\n"},
      {"its option", std::nullopt, other_card, false, Answer::Yes,
       "[j/n] j (vorgegeben mit --yes-other-card)\n"},
      {"--yes and its option", Answer::Yes, other_card, false, Answer::Yes,
       "[j/n] j (vorgegeben mit --yes-other-card)\n"},
      {"--no", Answer::No, std::vector<Risk>{}, true, Answer::No, "[j/n] n (vorgegeben)\n"},
      {"terminal", std::nullopt, std::vector<Risk>{}, true, Answer::Yes, "[j/n] "},
      {"flashrecord's --yes", Answer::Yes, std::nullopt, false, Answer::Yes,
       "[j/n] j (vorgegeben)\n"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    std::ostringstream out;
    std::istringstream in("j\n");
    ConsoleMessageService service(out, in, row.terminal, row.fixed, row.risky_yes);
    EXPECT_EQ(service.ShowRisky("Trotzdem?", MessageKind::Error, Buttons::YesNoDefaultNo,
                                Risk::OtherCardsBackup),
              row.answer);
    EXPECT_EQ(out.str(), std::string("Fehler: Trotzdem?\n") + row.said);
  }
  // An ordinary question still follows --yes.
  std::ostringstream out;
  std::istringstream in;
  ConsoleMessageService service(out, in, false, Answer::Yes, std::vector<Risk>{});
  EXPECT_EQ(service.ShowRisky("Weiter?", MessageKind::Question, Buttons::YesNo, Risk::None),
            Answer::Yes);
}

TEST(ConsoleMessageService, WithoutTerminalTheAnswerIsNo) {
  Console c;
  EXPECT_EQ(c.Ask("j\n", false), Answer::No);
  EXPECT_NE(c.out.str().find("[j/n] n"), std::string::npos);
  EXPECT_EQ(c.in.tellg(), 0);
}

TEST(ConsoleMessageService, TerminalAcceptsGermanAndEnglishWords) {
  for (const char* yes : {"j", "ja", "y", "yes", " JA ", "Yes\r"}) {
    Console c;
    EXPECT_EQ(c.Ask(std::string(yes) + "\n", true), Answer::Yes) << yes;
  }
  for (const char* no : {"n", "nein", "no", "NEIN"}) {
    Console c;
    EXPECT_EQ(c.Ask(std::string(no) + "\n", true), Answer::No) << no;
  }
}

TEST(ConsoleMessageService, TerminalRepeatsUntilAnAnswerAndTakesEndOfInputAsNo) {
  Console repeated;
  EXPECT_EQ(repeated.Ask("vielleicht\n\njein\nja\nn\n", true), Answer::Yes);
  std::string rest;
  std::getline(repeated.in, rest);
  EXPECT_EQ(rest, "n");  // nothing read past the answer
  const std::string shown = repeated.out.str();
  std::size_t prompts = 0;
  for (std::size_t at = shown.find("[j/n]"); at != std::string::npos;
       at = shown.find("[j/n]", at + 1)) {
    ++prompts;
  }
  EXPECT_EQ(prompts, 4u);

  Console ended;
  EXPECT_EQ(ended.Ask("egal\n", true), Answer::No);
}

}  // namespace
}  // namespace fu
