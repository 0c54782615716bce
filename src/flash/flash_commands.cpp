#include "flash/flash_commands.h"

#include <array>

#include "flash/backup_format.h"

namespace fu {

namespace {

// Around the data of a program command and after an erase.
constexpr auto kFlashWait = std::chrono::milliseconds(10);

}  // namespace

bool FlashCommands::SendWord(CardSlot slot, HostWord word) {
  return host_.DSP_WriteFIFO(slot, std::span(&word, 1));
}

bool FlashCommands::SendWords(CardSlot slot, std::span<const HostWord> words) {
  host_.DSP_WriteFIFO(slot, words);
  return true;
}

HostWord FlashCommands::ReceiveWord(CardSlot slot) {
  HostWord word = 0;
  return host_.DSP_ReadFIFO(slot, std::span(&word, 1)) ? word : ERROR_WORD;
}

bool FlashCommands::RunCommand(CardSlot slot, std::uint8_t vector, std::span<const HostWord> args) {
  host_.SendHostCommand(slot, vector);
  if (!args.empty()) {
    SendWords(slot, args);
  }
  return true;
}

bool FlashCommands::RunSubCommand(CardSlot slot, std::uint8_t vector, HostWord sub_command,
                                  std::span<const HostWord> args) {
  host_.SendHostCommand(slot, vector);
  if (!SendWord(slot, sub_command)) {
    return false;
  }
  if (!args.empty()) {
    SendWords(slot, args);
  }
  return true;
}

bool FlashCommands::FlashRead(CardSlot slot, FlashAddress address, std::span<HostWord> buffer) {
  if (slot < 0 || slot >= kSlotCount) {
    return false;
  }
  const std::array<HostWord, 2> args = {address, static_cast<HostWord>(buffer.size())};
  RunCommand(slot, flash_cmd::kReadVector, args);
  for (HostWord& word : buffer) {
    const HostWord received = ReceiveWord(slot);
    word = received & 0xFF;
    if (received == ERROR_WORD) {
      return false;
    }
  }
  return true;
}

bool FlashCommands::FlashWrite(CardSlot slot, FlashAddress address,
                               std::span<const HostWord> data) {
  const std::array<HostWord, 2> args = {address, static_cast<HostWord>(data.size())};
  const bool ok = RunSubCommand(slot, flash_cmd::kProgramEraseVector, flash_cmd::kProgram, args);
  clock_.Sleep(kFlashWait);
  if (ok) {
    for (const HostWord word : data) {
      if (!SendWord(slot, word & 0xFF)) {
        return false;
      }
    }
  }
  clock_.Sleep(kFlashWait);
  return ReceiveWord(slot) == 0;
}

bool FlashCommands::FlashErase(CardSlot slot, FlashAddress address) {
  const std::array<HostWord, 1> args = {address};
  bool result = false;
  if (RunSubCommand(slot, flash_cmd::kProgramEraseVector, flash_cmd::kErase, args)) {
    result = ReceiveWord(slot) == 0;
  }
  clock_.Sleep(kFlashWait);
  return result;
}

bool WriteBlockWithChecks(File& file, std::span<const HostWord> words) {
  file.Write(EncodeBlockWithChecks(words));
  return true;
}

}  // namespace fu
