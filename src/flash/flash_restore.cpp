#include "flash/flash_restore.h"

#include <vector>

#include "base/cp1252.h"
#include "base/errors.h"
#include "flash/backup_format.h"
#include "record/image_codec.h"
#include "record/revision.h"

namespace fu {

RestoreOutcome FlashRestore::Refuse(std::string_view path, std::string_view why) {
  std::string text = "Die Sicherungsdatei ";
  text += path;
  text += ' ';
  text += why;
  text += "\r\n";
  text += std::string_view("Die Karte wurde nicht verändert."_cp);
  messages_.Show(text, MessageKind::Error, Buttons::Ok);
  return RestoreOutcome::Refused;
}

RestoreOutcome FlashRestore::RestoreFromBackup(CardSlot slot, std::string_view path) {
  std::vector<std::uint8_t> bytes;
  try {
    const auto file = files_.OpenRead(path);
    bytes = file->ReadToEnd();
    file->Close();
  } catch (const FileError& error) {
    return Refuse(path, "kann nicht gelesen werden: " + std::string(error.Text()) + ".");
  }
  const BackupFile backup = ParseBackupFile(bytes);
  if (!backup.Restorable()) {
    return Refuse(path, std::string("ist unbrauchbar: "_cp) + BackupCheckText(backup));
  }

  const auto record = std::span(backup.flash).subspan(kBackupRecordOffset);
  const int revision = RecognizeRevision(RecordV12(record.first(kRecordV12Size)));
  std::vector<HostWord> words;
  bool written = false;
  if (revision == kRevision13) {
    words.assign(record.begin(), record.begin() + kImageV13Size);
    ImageV13 image;
    WordsToImage(std::span<const HostWord, kImageV13Size>(words), image);
    RecordV13 decoded;
    DecodeImage(image, decoded);
    written = writer_.WriteImageWords(slot, words, decoded.SerialNumber.view(), "restore");
  } else if (revision == kRevision12) {
    words.assign(record.begin(), record.begin() + record_write::kWordsV12);
    const RecordV12 decoded(record.first(kRecordV12Size));
    written =
        writer_.WriteV12Words(slot, words, words.size(), decoded.Get(v12::SerialNumber), "restore");
  } else {
    return Refuse(path, "enthält keinen Datensatz der Revision 1.2 oder 1.3.");
  }
  if (!written) {
    return RestoreOutcome::Failed;
  }
  messages_.Show("Die Karte wurde aus der Sicherung " + std::string(path) + " wiederhergestellt.",
                 MessageKind::Information, Buttons::Ok);
  return RestoreOutcome::Restored;
}

}  // namespace fu
