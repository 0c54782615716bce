#pragma once
// The message service as the support protocol sees it: every message shown to
// the user is recorded before it shows, and the answer after it.

#include "platform/message_service.h"
#include "platform/protocol.h"

namespace fu {

class ProtocolMessages : public MessageService {
 public:
  ProtocolMessages(MessageService& inner, Protocol& protocol)
      : inner_(inner), protocol_(protocol) {}

  Answer Show(std::string_view text, MessageKind kind, Buttons buttons) override;
  Answer ShowRisky(std::string_view text, MessageKind kind, Buttons buttons, Risk risk) override;

 private:
  // Records the message, asks inner_ by ask, records the answer.
  template <typename Ask>
  Answer Recorded(std::string_view text, MessageKind kind, Ask ask);

  MessageService& inner_;
  Protocol& protocol_;
};

}  // namespace fu
