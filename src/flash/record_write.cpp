#include "flash/record_write.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "base/cp1252.h"
#include "base/errors.h"
#include "flash/backup_format.h"
#include "flash/record_read.h"
#include "record/image_codec.h"

namespace fu {

namespace {

constexpr std::string_view kWritingRecord = "Schreibe neuen Datensatz";
constexpr std::string_view kEraseFailed = "Fehler beim Löschen des Flash"_cp;
constexpr std::string_view kWriteFailed = "Fehler beim Schreiben des Flash";
constexpr std::string_view kCardUnchanged = "Die Karte ist unverändert."_cp;

std::string BlockFailedText(int block) {
  return "Fehler beim Schreiben des " + std::to_string(block) + ". Blockes";
}

std::string VerifyFailedText(std::size_t byte) {
  return std::string("Fehler beim Überprüfen des Flash bei Byte "_cp) + std::to_string(byte);
}

// A word value a flash read never stores: it marks the words that did not arrive.
constexpr HostWord kNotArrived = 0xFFFFFFFF;

constexpr std::string_view kAreaUnreadable =
    "Fehler beim Überprüfen des Flash: der Bereich 0xD00000 bis 0xD0FFFF konnte nicht "
    "vollständig gelesen werden."_cp;

std::string OutsideDiffersText(std::size_t offset, std::string_view backup_file) {
  char address[16];
  std::snprintf(address, sizeof address, "0x%06X",
                static_cast<unsigned>(kBackupAreaStart + static_cast<std::uint32_t>(offset)));
  return std::string("Fehler beim Überprüfen des Flash: bei Adresse "_cp) + address +
         std::string(", außerhalb des Datensatzbereichs, weicht das Flash von der Sicherung "_cp) +
         std::string(backup_file) + " ab. Diesen Teil schreibt dieses Programm nie.";
}

}  // namespace

void RecordWriter::ShowError(std::string_view text, Buttons buttons) {
  messages_.Show(text, MessageKind::Error, buttons);
}

bool RecordWriter::Prepare(CardSlot slot, std::string_view serial, std::string_view operation) {
  state_ = WriteState::NotBegun;
  BackupResult result = backup_.BackupFlash(slot);
  last_backup_ = result.fileName;
  if (!result.Ok()) {
    return false;
  }
  backup_area_ = std::move(result.area);
  begun_ = {slot, std::string(serial), result.fileName, std::string(operation), false};
  if (journal_ != nullptr) {
    // Appended and flushed: the entry is on disk before the first erase.
    try {
      journal_->Begin(begun_);
    } catch (const FileError& error) {
      ShowError(std::string("Das Änderungsprotokoll "_cp) + std::string(UpdateJournal::kFileName) +
                " kann nicht geschrieben werden: " + std::string(error.Text()) +
                std::string(". Die Karte wurde nicht verändert."_cp));
      return false;
    }
  }
  return true;
}

void RecordWriter::Finish() {
  state_ = WriteState::Written;
  if (journal_ == nullptr) {
    return;
  }
  try {
    journal_->Done(begun_);
  } catch (const FileError& error) {
    // The card is written and verified, but the entry stays begun: the next
    // start-up would call this write unfinished. The user learns why now.
    ShowError(
        std::string("Das Änderungsprotokoll "_cp) + std::string(UpdateJournal::kFileName) +
        " kann nicht abgeschlossen werden: " + std::string(error.Text()) +
        std::string(". Die Karte wurde geschrieben und geprüft; die Frage nach der "
                    "Wiederherstellung beim nächsten Start kann mit Nein beantwortet werden."_cp));
  }
}

void RecordWriter::CheckAfterFailure(CardSlot slot) {
  state_ = WriteState::Changed;
  // The whole area: a card whose erase hit another sector is not unchanged.
  std::vector<HostWord> now(kBackupWords, kNotArrived);
  if (!flash_.FlashRead(slot, kBackupAreaStart, now) || now != backup_area_) {
    return;  // changed, or not known to be unchanged
  }
  state_ = WriteState::Unchanged;
  messages_.Show(kCardUnchanged, MessageKind::Information, Buttons::Ok);
  if (journal_ == nullptr) {
    return;
  }
  try {
    journal_->Unchanged(begun_);
  } catch (const FileError&) {
    // Left begun, the entry makes the next start-up offer a backup that equals
    // the card: nothing is lost.
  }
}

bool RecordWriter::Verify(CardSlot slot, std::span<const HostWord> expected) {
  std::vector<HostWord> back(expected.size(), kNotArrived);
  const bool arrived = flash_.FlashRead(slot, record_area::kStart, back);
  // A failed read stores 0 at the word where it stopped and leaves the rest.
  std::size_t stop = back.size();
  if (!arrived) {
    const auto first_missing = std::find(back.begin(), back.end(), kNotArrived);
    stop = static_cast<std::size_t>(first_missing - back.begin());
    stop = stop == 0 ? 0 : stop - 1;
  }
  const auto differs = std::mismatch(
      back.begin(), back.begin() + static_cast<std::ptrdiff_t>(stop), expected.begin(),
      [](HostWord got, HostWord want) { return got == (want & 0xFF); });
  const auto first_bad = static_cast<std::size_t>(differs.first - back.begin());
  if (first_bad < stop || !arrived) {
    ShowError(VerifyFailedText(std::min(first_bad, stop)));
    return false;
  }
  return true;
}

bool RecordWriter::AreaAsWritten(CardSlot slot, std::span<const HostWord> written) {
  std::vector<HostWord> area(kBackupWords, kNotArrived);
  if (!flash_.FlashRead(slot, kBackupAreaStart, area)) {
    ShowError(kAreaUnreadable);
    return false;
  }
  const std::size_t sector = record_write::kSectorStart - kBackupAreaStart;
  for (std::size_t i = 0; i < area.size(); ++i) {
    if (i < sector || i >= sector + record_write::kSectorWords) {
      if (area[i] != backup_area_[i]) {
        ShowError(OutsideDiffersText(i, last_backup_));
        return false;
      }
    } else if (const std::size_t k = i - sector;
               k < written.size() && area[i] != (written[k] & 0xFF)) {
      ShowError(VerifyFailedText(k));
      return false;
    }
  }
  return true;
}

HostWord RecordWriter::WriteRecordV13(CardSlot slot, RecordV13 record) {
  const std::string serial = record.SerialNumber.str();
  ImageV13 image;
  EncodeImage(std::move(record), image);
  std::vector<HostWord> words(kImageV13Size);
  ImageToWords(image, std::span<HostWord, kImageV13Size>(words));
  return WriteImageWords(slot, words, serial, "upgrade") ? 0 : ERROR_WORD;
}

bool RecordWriter::EraseAndProgramBlocks(CardSlot slot, FlashAddress erase_at,
                                         std::span<const HostWord> words) {
  const int blocks =
      static_cast<int>((words.size() + record_write::kBlockWords - 1) / record_write::kBlockWords);
  // Messages wait until the progress window, which stays on top, has closed.
  std::optional<std::string> failure;
  Buttons failure_buttons = Buttons::Ok;
  {
    const auto window = splash_.CreateAndShow();
    if (!flash_.FlashErase(slot, erase_at)) {
      failure = std::string(kEraseFailed);
    }
    for (int b = 1; !failure && b <= blocks; ++b) {
      window->SetProgressBar1(100 * b / blocks);
      window->SetLabel2(std::to_string(b));
      window->SetLabel3(kWritingRecord);
      window->ProcessMessages();
      const std::size_t start = static_cast<std::size_t>(b - 1) * record_write::kBlockWords;
      const std::size_t count = std::min(record_write::kBlockWords, words.size() - start);
      if (!flash_.FlashWrite(slot, static_cast<FlashAddress>(start), words.subspan(start, count))) {
        failure = BlockFailedText(b);
        failure_buttons = Buttons::Cancel;
      }
    }
    window->Close();
  }
  if (failure) {
    ShowError(*failure, failure_buttons);
    return false;
  }
  return true;
}

bool RecordWriter::WriteImageWords(CardSlot slot, std::span<const HostWord> words,
                                   std::string_view serial, std::string_view operation) {
  return WriteFrom(slot, record_write::kEraseV13, words, serial, operation);
}

bool RecordWriter::WriteRecordSector(CardSlot slot, std::span<const HostWord> words,
                                     std::string_view serial, std::string_view operation,
                                     const AreaCheck& area_check) {
  return WriteFrom(slot, record_write::kSectorStart, words, serial, operation, area_check);
}

bool RecordWriter::WriteFrom(CardSlot slot, FlashAddress erase_at, std::span<const HostWord> words,
                             std::string_view serial, std::string_view operation,
                             const AreaCheck& area_check) {
  if (!Prepare(slot, serial, operation)) {
    return false;
  }
  // The entry closes only when the whole area is as this write should leave it.
  if (!EraseAndProgramBlocks(slot, erase_at, words) || !Verify(slot, words) ||
      !(area_check ? area_check() : AreaAsWritten(slot, words))) {
    CheckAfterFailure(slot);
    return false;
  }
  Finish();
  return true;
}

int RecordWriter::WriteRecordV12(CardSlot slot, RecordV12 record) {
  std::vector<HostWord> words(record_write::kWordsV12, 0xFF);
  std::copy(record.Bytes().begin(), record.Bytes().end(), words.begin());
  return WriteV12Words(slot, words, kRecordV12Size, record.Get(v12::SerialNumber), "downgrade") ? 0
                                                                                                : 1;
}

bool RecordWriter::WriteV12Words(CardSlot slot, std::span<const HostWord> words,
                                 std::size_t verify_words, std::string_view serial,
                                 std::string_view operation) {
  if (!Prepare(slot, serial, operation)) {
    return false;
  }
  std::optional<std::string_view> failure;
  if (!flash_.FlashErase(slot, record_write::kEraseV12)) {
    failure = kEraseFailed;
  } else if (!flash_.FlashWrite(slot, 0, words)) {
    failure = kWriteFailed;
  }
  if (failure) {
    ShowError(*failure);
  }
  if (failure || !Verify(slot, words.first(std::min(verify_words, words.size()))) ||
      !AreaAsWritten(slot, words)) {
    CheckAfterFailure(slot);
    return false;
  }
  Finish();
  return true;
}

}  // namespace fu
