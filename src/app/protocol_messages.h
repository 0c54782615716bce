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

 private:
  MessageService& inner_;
  Protocol& protocol_;
};

}  // namespace fu
