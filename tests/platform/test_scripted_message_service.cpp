#include <gtest/gtest.h>

#include "platform/scripted_message_service.h"

namespace fu {
namespace {

TEST(ScriptedMessageService, AnswersQuestionsInOrderAndKeepsEveryMessage) {
  ScriptedMessageService messages({Answer::Yes, Answer::No});
  EXPECT_EQ(messages.Show("note", MessageKind::Error, Buttons::Cancel), Answer::Cancel);
  EXPECT_EQ(messages.Show("q1", MessageKind::Error, Buttons::YesNo), Answer::Yes);
  EXPECT_EQ(messages.Show("info", MessageKind::Information, Buttons::Ok), Answer::Ok);
  EXPECT_EQ(messages.Show("q2", MessageKind::Plain, Buttons::YesNo), Answer::No);
  EXPECT_EQ(messages.Unscripted(), 0);
  // The script is used up: a further question is declined and counted.
  EXPECT_EQ(messages.Show("q3", MessageKind::Error, Buttons::YesNo), Answer::No);
  EXPECT_EQ(messages.Unscripted(), 1);
  ASSERT_EQ(messages.Shown().size(), 5u);
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"note", "q1", "info", "q2", "q3"}));
  EXPECT_EQ(messages.Shown()[2].kind, MessageKind::Information);
  EXPECT_EQ(messages.Shown()[1].buttons, Buttons::YesNo);
}

}  // namespace
}  // namespace fu
