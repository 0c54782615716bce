#include "dsplink/dsp_loader.h"

#include <string>

#include "base/cp1252.h"
#include "base/errors.h"
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
    messages_.Show(OpenErrorText(path, error.Code()), MessageKind::Error, Buttons::Cancel);
    result = false;
  }
  if (file) {
    const std::vector<std::uint8_t> text = file->ReadToEnd();
    file->Close();
    const DspProgram program = ParseDspProgram(text);
    if (!program.intact) {
      messages_.Show(DamagedText(path), MessageKind::Error, Buttons::Ok);
      result = false;
    } else {
      ResetDspForBoot(slot);
      clock_.Sleep(kBootWait);
      if (host_.DSP_WriteFIFO(slot, program.bootStream)) {
        words_sent = static_cast<int>(program.bootStream.size());
      } else {
        messages_.Show(kTransferError, MessageKind::Error, Buttons::Ok);
        result = false;
      }
    }
  }
  host_.SetBootDoneFlag(slot);
  return result;
}

}  // namespace fu
