#pragma once
// The command protocol of the flash-service program running on a card's DSP: a
// host command starts a command, argument words follow, and the DSP answers with
// data or a status word (0 = success). Flash data travel one byte per host word.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/host_word.h"
#include "dsplink/host_interface.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/protocol.h"

namespace fu {

using FlashAddress = std::uint32_t;

namespace flash_cmd {
inline constexpr std::uint8_t kReadVector = 0x44;
inline constexpr std::uint8_t kProgramEraseVector = 0x68;
inline constexpr HostWord kProgram = 2;
inline constexpr HostWord kErase = 3;
// Words left in the receive register by an earlier command are read away before
// a command's arguments go out; more than the longest answer (a read of the whole
// 64 KiB area) and its status could leave means the register never empties.
inline constexpr std::size_t kMaxStaleWords = 0x10000 + 0x40;
}  // namespace flash_cmd

class FlashCommands {
 public:
  FlashCommands(HostInterface& host, Clock& clock, Protocol& protocol = NoProtocol())
      : host_(host), clock_(clock), protocol_(protocol) {}

  bool SendWord(CardSlot slot, HostWord word);
  // Always true: a failed transfer shows only in what the DSP answers next.
  bool SendWords(CardSlot slot, std::span<const HostWord> words);
  // The word, or ERROR_WORD when none arrived.
  HostWord ReceiveWord(CardSlot slot);

  // Both start the command with its host command, then read away the words an
  // earlier command left in the receive register, so that every word read
  // afterwards answers this command. False when the register does not empty
  // (nothing more is sent), or when the sub-command word could not be sent.
  bool RunCommand(CardSlot slot, std::uint8_t vector, std::span<const HostWord> args);
  bool RunSubCommand(CardSlot slot, std::uint8_t vector, HostWord sub_command,
                     std::span<const HostWord> args);

  // Reads buffer.size() flash bytes from address, one per word (bits 8-31 zero).
  // False for a slot outside 0..3 (nothing sent) or when a word did not arrive:
  // that word then holds 0 and the words after it are untouched.
  bool FlashRead(CardSlot slot, FlashAddress address, std::span<HostWord> buffer);
  // Programs the low bytes of data at the program offset address; true when every
  // data word went out and the DSP answered status 0. A command whose sub-command
  // did not go out reads no status: no word could answer it.
  bool FlashWrite(CardSlot slot, FlashAddress address, std::span<const HostWord> data);
  // Sends the erase command for address; which flash it clears is the DSP
  // program's business. True when the DSP answered status 0.
  bool FlashErase(CardSlot slot, FlashAddress address);

 private:
  // One protocol line per command: what, where, how much, and its answer.
  void Note(std::string_view command, CardSlot slot, FlashAddress address, std::size_t count,
            std::string_view answer, std::uint64_t polls_before);
  // The host command, then the receive register emptied; false when it did not empty.
  bool Start(CardSlot slot, std::uint8_t vector);
  // Why a command did not go out, for its protocol line.
  std::string NotSentText() const;

  HostInterface& host_;
  Clock& clock_;
  Protocol& protocol_;
  // Words the last command found waiting and dropped; nothing when the receive
  // register did not empty.
  std::optional<std::size_t> discarded_ = 0;
};

// Writes the words as 4-byte little-endian entries, then their OddByteParity and
// OddByteCount. A write error of the file is raised (FileError). Returns true.
bool WriteBlockWithChecks(File& file, std::span<const HostWord> words);

}  // namespace fu
