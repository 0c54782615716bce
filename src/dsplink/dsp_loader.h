#pragma once
// Boots the flash-service program from the DSP program file into a card's DSP.

#include <string_view>

#include "dsplink/host_interface.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_service.h"
#include "platform/protocol.h"

namespace fu {

class DspLoader {
 public:
  DspLoader(HostInterface& host, Files& files, Clock& clock, MessageService& messages,
            Protocol& protocol = NoProtocol())
      : host_(host), files_(files), clock_(clock), messages_(messages), protocol_(protocol) {}

  // Sends the boot stream of the file at path to the slot's DSP after a
  // non-maskable reset. True when every word went out; words_sent is then N + 2
  // and left alone otherwise. A file that cannot be opened, a damaged file and a
  // failed transfer are shown and give false. The boot-done flag is set at the end
  // either way. A line that is not hexadecimal, or a read error, is raised.
  bool LoadDspProgram(CardSlot slot, std::string_view path, int& words_sent);

  // The non-maskable host command that restarts the DSP's boot loader, then the
  // busy and boot-done flags cleared.
  void ResetDspForBoot(CardSlot slot);

 private:
  HostInterface& host_;
  Files& files_;
  Clock& clock_;
  MessageService& messages_;
  Protocol& protocol_;
};

}  // namespace fu
