// Card bytes as they come from the flash: the revision test on the first 1736
// bytes, the image decoded and encoded, and the upgrade of the 1.2 form, with
// every question answered both ways.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/errors.h"
#include "platform/scripted_message_service.h"
#include "record/downgrade.h"
#include "record/image_codec.h"
#include "record/revision.h"
#include "record/upgrade.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  bytes.resize(fu::kImageV13Size, 0);
  const fu::RecordV12 old_record(bytes);
  fu::RecognizeRevision(old_record);

  fu::ImageV13 image;
  std::copy(bytes.begin(), bytes.end(), image.bytes.begin());
  fu::RecordV13 decoded;
  fu::DecodeImage(image, decoded);
  fu::RecognizeRevision(decoded);
  fu::ImageV13 again;
  fu::EncodeImage(decoded, again);
  fu::RecordV12 down;
  fu::DowngradeRecord(decoded, down);

  for (const fu::Answer answer : {fu::Answer::Yes, fu::Answer::No}) {
    fu::ScriptedMessageService messages({answer});
    fu::RecordV13 upgraded;
    try {
      if (fu::UpgradeRecord(old_record, upgraded, messages)) {
        fu::ImageV13 encoded;
        fu::EncodeImage(upgraded, encoded);
      }
    } catch (const fu::IntegerConversionError&) {
      // A text that is no number: the upgrade's way of saying so.
    }
  }
  return 0;
}
