#include "flash/flash_commands.h"

#include <array>
#include <string>

#include "base/cp1252.h"
#include "base/hex_text.h"
#include "flash/backup_format.h"

namespace fu {

namespace {

// Around the data of a program command and after an erase.
constexpr auto kFlashWait = std::chrono::milliseconds(10);

std::string StatusText(HostWord status) {
  return status == ERROR_WORD ? std::string("kein Status") : "Status " + std::to_string(status);
}

}  // namespace

void FlashCommands::Note(std::string_view command, CardSlot slot, FlashAddress address,
                         std::size_t count, std::string_view answer, std::uint64_t polls_before) {
  std::string text = "Flash-Befehl ";
  text += command;
  text += ": Steckplatz " + std::to_string(slot) + ", Adresse 0x" + HexText(address, 6);
  if (count > 0) {
    text += ", Anzahl " + std::to_string(count);
  }
  text += ", ";
  text += answer;
  text += ", " + std::to_string(host_.StatusReads() - polls_before) + " Abfragen";
  if (discarded_ && *discarded_ > 0) {
    text += ", " + std::to_string(*discarded_) +
            std::string(" Wörter eines früheren Befehls verworfen"_cp);
  }
  protocol_.Record(text);
}

bool FlashCommands::Start(CardSlot slot, std::uint8_t vector) {
  host_.SendHostCommand(slot, vector);
  discarded_ = host_.DiscardReceived(slot, flash_cmd::kMaxStaleWords);
  return discarded_.has_value();
}

std::string FlashCommands::NotSentText() const {
  return discarded_ ? "Unterbefehl nicht gesendet"
                    : "Empfangsregister leert sich nicht, Befehl nicht gesendet";
}

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
  if (!Start(slot, vector)) {
    return false;
  }
  if (!args.empty()) {
    SendWords(slot, args);
  }
  return true;
}

bool FlashCommands::RunSubCommand(CardSlot slot, std::uint8_t vector, HostWord sub_command,
                                  std::span<const HostWord> args) {
  if (!Start(slot, vector) || !SendWord(slot, sub_command)) {
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
  const std::uint64_t polls = host_.StatusReads();
  const std::array<HostWord, 2> args = {address, static_cast<HostWord>(buffer.size())};
  if (!RunCommand(slot, flash_cmd::kReadVector, args)) {
    if (!buffer.empty()) {
      buffer[0] = 0;  // stopped at the first word
    }
    if (protocol_.On()) {
      Note("Lesen", slot, address, buffer.size(), NotSentText(), polls);
    }
    return false;
  }
  for (std::size_t k = 0; k < buffer.size(); ++k) {
    const HostWord received = ReceiveWord(slot);
    buffer[k] = received & 0xFF;
    if (received == ERROR_WORD) {
      if (protocol_.On()) {
        Note("Lesen", slot, address, buffer.size(),
             "abgebrochen nach " + std::to_string(k) + std::string(" Wörtern"_cp), polls);
      }
      return false;
    }
  }
  if (protocol_.On()) {
    Note("Lesen", slot, address, buffer.size(), "vollständig"_cp, polls);
  }
  return true;
}

bool FlashCommands::FlashWrite(CardSlot slot, FlashAddress address,
                               std::span<const HostWord> data) {
  const std::uint64_t polls = host_.StatusReads();
  const std::array<HostWord, 2> args = {address, static_cast<HostWord>(data.size())};
  const bool ok = RunSubCommand(slot, flash_cmd::kProgramEraseVector, flash_cmd::kProgram, args);
  Wait(clock_, protocol_, kFlashWait, "Flash programmieren, vor den Daten");
  if (ok) {
    for (std::size_t k = 0; k < data.size(); ++k) {
      if (!SendWord(slot, data[k] & 0xFF)) {
        if (protocol_.On()) {
          Note("Programmieren", slot, address, data.size(),
               "abgebrochen nach " + std::to_string(k) + std::string(" Wörtern"_cp), polls);
        }
        return false;
      }
    }
  }
  Wait(clock_, protocol_, kFlashWait, "Flash programmieren, vor dem Status");
  if (!ok) {
    if (protocol_.On()) {
      Note("Programmieren", slot, address, data.size(), NotSentText() + ", kein Status gelesen",
           polls);
    }
    return false;
  }
  const HostWord status = ReceiveWord(slot);
  if (protocol_.On()) {
    Note("Programmieren", slot, address, data.size(), StatusText(status), polls);
  }
  return status == 0;
}

bool FlashCommands::FlashErase(CardSlot slot, FlashAddress address) {
  const std::uint64_t polls = host_.StatusReads();
  const std::array<HostWord, 1> args = {address};
  bool result = false;
  if (RunSubCommand(slot, flash_cmd::kProgramEraseVector, flash_cmd::kErase, args)) {
    const HostWord status = ReceiveWord(slot);
    result = status == 0;
    if (protocol_.On()) {
      Note("Löschen"_cp, slot, address, 0, StatusText(status), polls);
    }
  } else if (protocol_.On()) {
    Note("Löschen"_cp, slot, address, 0, NotSentText(), polls);
  }
  Wait(clock_, protocol_, kFlashWait, "nach dem Löschen"_cp);
  return result;
}

bool WriteBlockWithChecks(File& file, std::span<const HostWord> words) {
  file.Write(EncodeBlockWithChecks(words));
  return true;
}

}  // namespace fu
