// The update actions of the main window: "Flash upgraden", "Flash downgraden"
// and "Dump".

#include "app/flash_update_kunde_unit.h"
#include "base/cp1252.h"
#include "record/downgrade.h"
#include "record/revision.h"
#include "record/upgrade.h"

namespace fu {

namespace {

std::string_view ConvertAnywayQuestion() {
  return "Fehler beim Konvertieren der Revision 1.2 in 1.3\r\n"
         "Wenn Sie das Flash dennoch aktualisieren, kann es passieren,\r\n"
         "daß die Karte nicht mehr korrekt erkannt wird!\r\n"
         "\r\n"
         "Möchten Sie die Karte dennoch aktualisieren?"_cp;
}

constexpr std::string_view kUpdated = "Flash erfolgreich aktualisiert";
constexpr std::string_view kDumped =
    "Dump erfolgreich erzeugt\r\n\r\nBitte sichern Sie die aktuelle .SAV-Datei von C:\\";
constexpr std::string_view kCannotOpen = "Die Karte konnte nicht geöffnet werden"_cp;
constexpr std::string_view kUnreadable =
    "Der Datensatz der Karte konnte nicht gelesen werden.\r\n"
    "Die Karte wurde nicht verändert."_cp;
constexpr std::string_view kHeldByOther =
    "Die Karte wird von einem anderen Programm benutzt. Die Karte wurde nicht verändert."_cp;

}  // namespace

std::optional<CardSlot> TForm1::OpenForAction() {
  const auto slot = SelectedSlot();
  if (!slot) {
    return std::nullopt;
  }
  if (sys_.slots.OpenSlot(*slot) != 1) {
    Busy(false);
    ShowError(kCannotOpen);
    ComboBox1Change();
    return std::nullopt;
  }
  open_slot_ = slot;
  // Another program holding the busy flag may be talking to the card's DSP:
  // nothing of this program may go to the card in between.
  if (!Claim(*slot)) {
    Busy(false);
    ShowError(kHeldByOther);
    EndAction(*slot);
    return std::nullopt;
  }
  return slot;
}

void TForm1::CloseAction(CardSlot slot) {
  Busy(false);
  ReleaseAction(slot);
}

void TForm1::ReleaseAction(CardSlot slot) {
  Release();
  sys_.slots.CloseSlot(slot);
  open_slot_.reset();
}

void TForm1::EndAction(CardSlot slot) {
  CloseAction(slot);
  ComboBox1Change();
}

ActionResult TForm1::RefuseUnreadable(CardSlot slot) {
  ShowError(kUnreadable);
  EndAction(slot);
  return ActionResult::Failed;
}

ActionResult TForm1::RunWriteAction(ActionResult (TForm1::*action)(CardSlot)) {
  return Guarded([&] {
    if (!SelectedSlot()) {
      return ActionResult::Refused;
    }
    last_difference_.reset();
    Busy(true);
    view_.SetProgress(0);
    const auto slot = OpenForAction();
    if (!slot) {
      return ActionResult::Failed;
    }
    if (const auto refused = RefuseOverOpenWrite(*slot)) {
      return *refused;
    }
    return (this->*action)(*slot);
  });
}

ActionResult TForm1::FinishWrite(CardSlot slot, bool written) {
  last_backup_ = sys_.writer.LastWrite().backupFile;
  last_difference_ = written ? sys_.writer.LastWrite().difference : std::nullopt;
  if (written) {
    Progress(100);
    messages_.Show(kUpdated, MessageKind::Information, Buttons::Ok);
  }
  EndAction(slot);
  if (!written) {
    OfferRestoreAfterFailure();
  }
  return written ? ActionResult::Done : ActionResult::Failed;
}

ActionResult TForm1::Button2Click() {
  return RunWriteAction(&TForm1::Upgrade);
}

ActionResult TForm1::Upgrade(CardSlot slot) {
  const std::optional<RecordV12> read = sys_.reader.ReadWholeImageV12(slot);
  Progress(20);
  // Only a record that arrived whole and reads as revision 1.2 is converted: a
  // failed read must never turn into a record written to the card.
  if (!read || RecognizeRevision(*read) != kRevision12) {
    return RefuseUnreadable(slot);
  }
  const RecordV12& image = *read;
  RecordV13 record;
  const bool converted = UpgradeRecord(image, record, messages_);
  if (!converted && messages_.ShowRisky(ConvertAnywayQuestion(), MessageKind::Error, Buttons::YesNo,
                                        Risk::FailedConversion) == Answer::No) {
    CloseAction(slot);
    return ActionResult::Declined;
  }
  Progress(30);
  view_.SetHourglass(true);
  const bool written = sys_.writer.WriteRecordV13(slot, record) == 0;
  return FinishWrite(slot, written);
}

ActionResult TForm1::Button3Click() {
  return RunWriteAction(&TForm1::Downgrade);
}

ActionResult TForm1::Downgrade(CardSlot slot) {
  const RecordV13 record = sys_.reader.ReadConfirmedRecord(slot);
  Progress(20);
  // The default record of a failed read has no revision stamp: never write it.
  if (RecognizeRevision(record) != kRevision13) {
    return RefuseUnreadable(slot);
  }
  RecordV12 image;
  DowngradeRecord(record, image);
  Progress(30);
  view_.SetHourglass(true);
  const bool written = sys_.writer.WriteRecordV12(slot, image) == 0;
  return FinishWrite(slot, written);
}

ActionResult TForm1::Button4Click() {
  return Guarded([&] {
    if (!SelectedSlot()) {
      return ActionResult::Refused;  // an empty card list: nothing to dump
    }
    const auto slot = OpenForAction();
    return slot ? Dump(*slot) : ActionResult::Failed;
  });
}

ActionResult TForm1::Dump(CardSlot slot) {
  const BackupResult backup = sys_.backup.BackupFlash(slot);
  last_backup_ = backup.fileName;
  last_difference_.reset();
  ReleaseAction(slot);
  ComboBox1Change();
  if (!backup.Ok()) {
    return ActionResult::Failed;
  }
  messages_.Show(kDumped, MessageKind::Plain, Buttons::Ok);
  return ActionResult::Done;
}

}  // namespace fu
