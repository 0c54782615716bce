#include "dsplink/dsp_loader.h"

#include <string>

#include "base/cp1252.h"
#include "base/crc32.h"
#include "base/errors.h"
#include "base/hex_text.h"
#include "dsplink/dsp_program.h"

namespace fu {

namespace {

constexpr auto kBootWait = std::chrono::milliseconds(500);

std::string OpenErrorText(std::string_view path, int code) {
  std::string text;
  text += "Fehler beim Öffnen des DSP-Programmes "_cp;
  text += path;
  text += "\r\nFehlercode: ";
  text += std::to_string(code);
  return text;
}

std::string DamagedText(std::string_view path) {
  std::string text = "Das DSP-Programm ";
  text += path;
  text += std::string_view(" ist beschädigt."_cp);
  return text;
}

constexpr std::string_view kTransferError = "Ein Fehler ist aufgetreten";

std::string FileLine(std::string_view path, const std::vector<std::uint8_t>& text) {
  return "DSP-Programm: " + std::string(path) + ", " + std::to_string(text.size()) +
         " Bytes, CRC32 " + HexText(Crc32(text));
}

std::string BootLine(CardSlot slot, std::string_view result) {
  return "Boot Steckplatz " + std::to_string(slot) + ": " + std::string(result);
}

}  // namespace

void DspLoader::ResetDspForBoot(CardSlot slot) {
  host_.WriteHostRegister(slot, hi::HCVR, hi::kBootCommand);
  host_.ReleaseCard(slot);
  host_.ClearBootDoneFlag(slot);
}

bool DspLoader::LoadDspProgram(CardSlot slot, std::string_view path, int& words_sent) {
  bool result = true;
  std::unique_ptr<File> file;
  try {
    file = files_.OpenRead(path);
  } catch (const FileError& error) {
    if (protocol_.On()) {
      protocol_.Record("DSP-Programm: " + std::string(path) +
                       std::string(" nicht geöffnet, Fehlercode "_cp) +
                       std::to_string(error.Code()));
    }
    messages_.Show(OpenErrorText(path, error.Code()), MessageKind::Error, Buttons::Cancel);
    result = false;
  }
  if (file) {
    const std::vector<std::uint8_t> text = file->ReadToEnd();
    file->Close();
    if (protocol_.On()) {
      protocol_.Record(FileLine(path, text));
    }
    DspProgram program;
    try {
      program = ParseDspProgram(text);
    } catch (const RaisedError&) {
      if (protocol_.On()) {
        protocol_.Record("DSP-Programm: eine Zeile ist keine Hexadezimalzahl");
      }
      throw;
    }
    if (!program.intact) {
      if (protocol_.On()) {
        protocol_.Record("DSP-Programm: beschädigt (Zeilenzahl)"_cp);
      }
      messages_.Show(DamagedText(path), MessageKind::Error, Buttons::Ok);
      result = false;
    } else {
      ResetDspForBoot(slot);
      Wait(clock_, protocol_, kBootWait, "Reset des DSP vor dem Boot");
      const std::uint64_t polls = host_.StatusReads();
      if (host_.DSP_WriteFIFO(slot, program.bootStream)) {
        words_sent = static_cast<int>(program.bootStream.size());
        if (protocol_.On()) {
          protocol_.Record(
              BootLine(slot, std::to_string(words_sent) + std::string(" Wörter gesendet, "_cp) +
                                 std::to_string(host_.StatusReads() - polls) + " Abfragen"));
        }
      } else {
        if (protocol_.On()) {
          protocol_.Record(BootLine(
              slot,
              std::string("Übertragung fehlgeschlagen, die Karte nimmt keine Wörter an ("_cp) +
                  std::to_string(program.bootStream.size()) + std::string(" Wörter)"_cp)));
        }
        messages_.Show(kTransferError, MessageKind::Error, Buttons::Ok);
        result = false;
      }
    }
  }
  host_.SetBootDoneFlag(slot);
  return result;
}

}  // namespace fu
