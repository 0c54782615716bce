#include "flash/record_write.h"

#include <algorithm>
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

// Holds end requests while it lives, from the backup to the closing line (or the
// failure) of one write. Release()'s answer reaches whoever handed in the requests.
class WriteHold {
 public:
  explicit WriteHold(EndRequests* requests) : requests_(requests) {
    if (requests_ != nullptr) {
      requests_->Hold();
    }
  }
  ~WriteHold() {
    if (requests_ != nullptr) {
      static_cast<void>(requests_->Release());
    }
  }
  WriteHold(const WriteHold&) = delete;
  WriteHold& operator=(const WriteHold&) = delete;

 private:
  EndRequests* requests_;
};

}  // namespace

void RecordWriter::ShowError(std::string_view text, Buttons buttons) {
  messages_.Show(text, MessageKind::Error, buttons);
}

bool RecordWriter::Prepare(CardSlot slot, std::string_view serial, std::string_view operation) {
  last_ = WriteOutcome{};
  BackupResult result = backup_.BackupFlash(slot);
  last_.backupFile = result.fileName;
  if (!result.Ok()) {
    return false;
  }
  backup_area_ = std::move(result.area);
  last_.entry.slot = slot;
  last_.entry.serialNumber = serial;
  last_.entry.backupFile = result.fileName;
  last_.entry.backupSize = static_cast<std::uint32_t>(kBackupFileSize);
  last_.entry.backupCrc = result.fileCrc;
  last_.entry.operation = operation;
  last_.entry.fileSerial = operation == "restore" ? restoring_serial_ : std::string();
  if (journal_ != nullptr) {
    // Appended and flushed: the entry is on disk before the first erase.
    try {
      journal_->Begin(last_.entry);
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
  last_.state = WriteState::Written;
  if (journal_ == nullptr) {
    return;
  }
  last_.entry.difference = last_.difference ? DifferenceField(*last_.difference) : std::string();
  try {
    journal_->Done(last_.entry);
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
  last_.state = WriteState::Changed;
  // The whole area: a card whose erase cleared more than the record is not
  // unchanged.
  std::vector<HostWord> now(kBackupWords, kNotArrived);
  if (!flash_.FlashRead(slot, kBackupAreaStart, now) || now != backup_area_) {
    return;  // changed, or not known to be unchanged
  }
  last_.state = WriteState::Unchanged;
  messages_.Show(kCardUnchanged, MessageKind::Information, Buttons::Ok);
  if (journal_ == nullptr) {
    return;
  }
  try {
    journal_->Unchanged(last_.entry);
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
    VerifyFailed(std::min(first_bad, stop), first_bad < stop);
    return false;
  }
  return true;
}

void RecordWriter::VerifyFailed(std::size_t byte, bool differs) {
  if (protocol_.On()) {
    protocol_.Record(std::string("Prüfung: Datensatz "_cp) +
                     (differs ? "abweichend ab Byte " : "nicht ganz gelesen, ab Byte ") +
                     std::to_string(byte));
  }
  ShowError(VerifyFailedText(byte));
}

bool RecordWriter::ReadArea(CardSlot slot, std::vector<HostWord>& area,
                            std::span<const HostWord> should, std::size_t skip_to) {
  area.assign(kBackupWords, kNotArrived);
  if (!flash_.FlashRead(slot, kBackupAreaStart, area)) {
    return false;
  }
  if (!CompareArea(area, should, kBackupRecordOffset, skip_to)) {
    return true;
  }
  // A difference is believed only when a second read agrees: bytes a card
  // answers wrong must neither be programmed over nor reported.
  std::vector<HostWord> again(kBackupWords, kNotArrived);
  return flash_.FlashRead(slot, kBackupAreaStart, again) && again == area;
}

bool RecordWriter::ProgramBeyond(CardSlot slot, std::span<const HostWord> area,
                                 std::span<const HostWord> should, std::size_t from) {
  // Only where the card reads erased and should holds data, in unbroken runs:
  // the card is asked for no offset beyond the record that it need not take,
  // and never to program over data it holds.
  const auto needed = [&](std::size_t k) {
    const std::size_t i = kBackupRecordOffset + k;
    return area[i] == 0xFF && should[i] != 0xFF;
  };
  const std::size_t end = kBackupWords - kBackupRecordOffset;
  bool sent = false;
  for (std::size_t k = from; k < end;) {
    if (!needed(k)) {
      ++k;
      continue;
    }
    std::size_t run_end = k;
    while (run_end < end && needed(run_end) && run_end - k < record_write::kBlockWords) {
      ++run_end;
    }
    if (protocol_.On()) {
      protocol_.Record(std::string("Zurückschreiben außerhalb des Datensatzes: "_cp) +
                       AreaAddressText(kBackupRecordOffset + k) + " bis " +
                       AreaAddressText(kBackupRecordOffset + run_end - 1));
    }
    const auto first = should.begin() + static_cast<std::ptrdiff_t>(kBackupRecordOffset + k);
    flash_.FlashWrite(
        slot, static_cast<FlashAddress>(k),
        std::vector<HostWord>(first, first + static_cast<std::ptrdiff_t>(run_end - k)));
    sent = true;
    k = run_end;
  }
  return sent;
}

void RecordWriter::Report(std::span<const HostWord> area, bool whole,
                          std::span<const HostWord> should, std::size_t skip_to, bool restore) {
  last_.difference = whole ? CompareArea(area, should, kBackupRecordOffset, skip_to)
                           : AreaDifference{true, 0, 0, 0};
  const std::string& file = restore ? restoring_ : last_.backupFile;
  if (protocol_.On()) {
    std::string line;
    line += "Prüfung: Datensatz wie geschrieben; außerhalb davon "_cp;
    if (!last_.difference) {
      line += "gleich " + file;
    } else if (last_.difference->unread) {
      line += "nicht zweimal gleich gelesen";
    } else {
      line += "abweichend von " + file + ", " + std::to_string(last_.difference->count) +
              " Bytes " + DifferenceField(*last_.difference);
    }
    protocol_.Record(line);
  }
  if (last_.difference) {
    messages_.Show(DifferenceText(*last_.difference, file, restore ? last_.backupFile : ""),
                   MessageKind::Information, Buttons::Ok);
  }
}

HostWord RecordWriter::WriteRecordV13(CardSlot slot, RecordV13 record) {
  const std::string serial = record.SerialNumber.str();
  ImageV13 image;
  EncodeImage(std::move(record), image);
  std::vector<HostWord> words(kImageV13Size);
  ImageToWords(image, std::span<HostWord, kImageV13Size>(words));
  return WriteFrom(slot, RoadOf(kRevision13), words, serial, "upgrade", {},
                   record_write::kRecordWords, false)
             ? 0
             : ERROR_WORD;
}

int RecordWriter::WriteRecordV12(CardSlot slot, RecordV12 record) {
  std::vector<HostWord> words(record_write::kWordsV12, 0xFF);
  std::copy(record.Bytes().begin(), record.Bytes().end(), words.begin());
  return WriteFrom(slot, RoadOf(kRevision12), words, record.Get(v12::SerialNumber), "downgrade", {},
                   record_write::kRecordWords, false)
             ? 0
             : 1;
}

bool RecordWriter::WriteBackup(CardSlot slot, RecordRevision revision,
                               std::span<const std::uint8_t> area, std::string_view file,
                               std::string_view serial, std::string_view file_serial) {
  const std::vector<HostWord> should(area.begin(), area.end());
  const std::size_t count = revision == kRevision13 ? kImageV13Size : record_write::kWordsV12;
  const auto words = std::span(should).subspan(kBackupRecordOffset, count);
  restoring_ = file;
  restoring_serial_ = file_serial == serial ? std::string_view() : file_serial;
  Road road = RoadOf(revision);
  road.window = true;
  return WriteFrom(slot, road, words, serial, "restore", should, count, true);
}

RecordWriter::Road RecordWriter::RoadOf(RecordRevision revision) {
  return revision == kRevision12 ? Road{record_write::kEraseV12, record_write::kWordsV12, false}
                                 : Road{record_write::kEraseV13, record_write::kBlockWords, true};
}

bool RecordWriter::EraseAndProgram(CardSlot slot, const Road& road,
                                   std::span<const HostWord> words) {
  const int blocks = static_cast<int>((words.size() + road.blockWords - 1) / road.blockWords);
  // Messages wait until the progress window, which stays on top, has closed.
  std::optional<std::string> failure;
  Buttons failure_buttons = Buttons::Ok;
  {
    const auto window = road.window ? splash_.CreateAndShow() : nullptr;
    if (!flash_.FlashErase(slot, road.erase)) {
      failure = std::string(kEraseFailed);
    }
    for (int b = 1; !failure && b <= blocks; ++b) {
      if (window) {
        window->SetProgressBar1(100 * b / blocks);
        window->SetLabel2(std::to_string(b));
        window->SetLabel3(kWritingRecord);
        window->ProcessMessages();
      }
      const std::size_t start = static_cast<std::size_t>(b - 1) * road.blockWords;
      const std::size_t count = std::min(road.blockWords, words.size() - start);
      if (!flash_.FlashWrite(slot, static_cast<FlashAddress>(start), words.subspan(start, count))) {
        failure = window ? BlockFailedText(b) : std::string(kWriteFailed);
        failure_buttons = window ? Buttons::Cancel : Buttons::Ok;
      }
    }
    if (window) {
      window->Close();
    }
  }
  if (failure) {
    ShowError(*failure, failure_buttons);
    return false;
  }
  return true;
}

bool RecordWriter::WriteFrom(CardSlot slot, const Road& road, std::span<const HostWord> words,
                             std::string_view serial, std::string_view operation,
                             std::span<const HostWord> should, std::size_t record_words,
                             bool restore) {
  const WriteHold held(end_requests_);
  if (!Prepare(slot, serial, operation)) {
    return false;
  }
  if (!EraseAndProgram(slot, road, words) || !Verify(slot, words)) {
    CheckAfterFailure(slot);
    return false;
  }
  // The record is written and verified; what follows is told, not a failure,
  // unless the record itself no longer reads as written.
  if (should.empty()) {
    should = backup_area_;
  }
  const std::size_t skip_to = kBackupRecordOffset + record_words;
  std::vector<HostWord> area;
  // A read a card answers wrong once is not yet a reason to leave flash out.
  const auto read = [&] {
    return ReadArea(slot, area, should, skip_to) || ReadArea(slot, area, should, skip_to);
  };
  bool whole = read();
  if (whole && restore && ProgramBeyond(slot, area, should, words.size())) {
    whole = read();
    if (whole && !RecordAsWritten(area, words)) {
      // The card put what went beyond the record elsewhere, over the record:
      // the record is written once more, without it.
      if (protocol_.On()) {
        protocol_.Record(
            "Zurückschreiben außerhalb des Datensatzes traf den Datensatz; er wird neu "
            "geschrieben, ohne das Übrige"_cp);
      }
      if (!EraseAndProgram(slot, road, words) || !Verify(slot, words)) {
        CheckAfterFailure(slot);
        return false;
      }
      whole = read();
    }
  }
  if (whole && !RecordAsWritten(area, words)) {
    CheckAfterFailure(slot);
    return false;
  }
  Report(area, whole, should, skip_to, restore);
  Finish();
  return true;
}

bool RecordWriter::RecordAsWritten(std::span<const HostWord> area,
                                   std::span<const HostWord> words) {
  const auto record = area.subspan(kBackupRecordOffset, words.size());
  const auto differs =
      std::mismatch(record.begin(), record.end(), words.begin(),
                    [](HostWord got, HostWord want) { return got == (want & 0xFF); });
  if (differs.first == record.end()) {
    return true;
  }
  VerifyFailed(static_cast<std::size_t>(differs.first - record.begin()), true);
  return false;
}

}  // namespace fu
