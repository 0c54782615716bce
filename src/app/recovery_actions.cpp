// Restoring cards: from a backup file the user names, from a card's restore
// point, at start-up for every listed card with an unfinished write, and at
// once after a failed write that changed the card.

#include <algorithm>

#include "app/console_program.h"
#include "app/flash_update_kunde_unit.h"
#include "base/cp1252.h"

namespace fu {

namespace {

// The restore point of the card in slot: by its serial number when its record
// reads, else the one last written in that slot.
std::vector<JournalEntry>::iterator FindPoint(std::vector<JournalEntry>& points, CardSlot slot,
                                              const std::optional<std::string>& serial) {
  const bool by_serial = serial && !serial->empty();
  return std::find_if(points.begin(), points.end(), [&](const JournalEntry& point) {
    return by_serial ? point.serialNumber == *serial : point.slot == slot;
  });
}

std::string RestoreQuestion(int index, std::string_view serial, std::string_view backup_file) {
  return "Die letzte Aktualisierung der Karte " + std::to_string(index) + " (Seriennummer " +
         std::string(serial.empty() ? "unbekannt" : serial) +
         ") wurde nicht abgeschlossen. Die Sicherung " + std::string(backup_file) +
         std::string(
             " enthält den Stand davor. Soll die Karte jetzt daraus wiederhergestellt werden?"_cp);
}

std::string NoRestorePointText(int index) {
  return std::string("Für die Karte "_cp) + std::to_string(index) +
         std::string(
             " ist keine Aktualisierung offen, darum gibt es keine Sicherung, aus der sie ohne "
             "Angabe einer Datei wiederhergestellt würde. Die Karte wurde nicht verändert."_cp);
}

// A card with an unfinished write that is not in the list: the user learns
// which backup holds its earlier state.
std::string AbsentCardText(const JournalEntry& entry, std::optional<std::size_t> item) {
  std::string text;
  const auto add = [&text](std::string_view part) { text += part; };
  add("Eine Änderung an der Karte mit der Seriennummer "_cp);
  add(entry.serialNumber.empty() ? "(unbekannt)" : entry.serialNumber);
  add(" (Steckplatz " + std::to_string(entry.slot) + ", Vorgang \"" + entry.operation + "\")");
  add(" wurde begonnen, aber nicht abgeschlossen.\r\n");
  add("Die Karte ist darum vielleicht nicht mehr lesbar. Die Sicherung ");
  add(entry.backupFile);
  add(" enthält ihren Stand vor der Änderung"_cp);
  if (item) {
    add("; sie wird mit\r\n  ");
    add(kConsoleProgram);
    add(" restore ");
    add(std::to_string(*item) + " " + entry.backupFile);
    add("\r\nzurückgeschrieben."_cp);
  } else {
    add(".");
  }
  add("\r\nOhne Ihre Anweisung wird nichts zurückgeschrieben."_cp);
  return text;
}

}  // namespace

ActionResult TForm1::RestoreClick(std::string_view backup_file) {
  return Guarded([&] { return RestoreSelected(backup_file, FileOwner::Unknown); });
}

ActionResult TForm1::RestorePointClick() {
  return Guarded([&] {
    const auto slot = SelectedSlot();
    if (!slot) {
      return ActionResult::Refused;
    }
    const int index = view_.SelectedItem();
    std::vector<JournalEntry> points = sys_.journal.Unfinished();
    const auto point = FindPoint(points, *slot, list_serials_[static_cast<std::size_t>(index)]);
    if (point != points.end()) {
      return RestoreSelected(point->backupFile, FileOwner::ThisCard);
    }
    if (std::find(restored_at_start_.begin(), restored_at_start_.end(), index) !=
        restored_at_start_.end()) {
      return ActionResult::Done;  // restored by the start-up's question
    }
    ShowError(NoRestorePointText(index));
    return ActionResult::Refused;
  });
}

ActionResult TForm1::RestoreSelected(std::string_view backup_file, FileOwner owner) {
  if (!SelectedSlot()) {
    return ActionResult::Refused;
  }
  const int card_number = view_.SelectedItem();
  Busy(true);
  view_.SetProgress(0);
  const auto slot = OpenForAction();
  if (!slot) {
    return ActionResult::Failed;
  }
  view_.SetHourglass(true);
  RestoreOutcome outcome = RestoreOutcome::Failed;
  {
    const EndHold hold(*this);
    outcome = sys_.restore.RestoreFromBackup(*slot, card_number, backup_file, owner);
  }
  last_backup_ = sys_.writer.LastBackupFile();
  EndAction(*slot);
  switch (outcome) {
    case RestoreOutcome::Restored:
      return ActionResult::Done;
    case RestoreOutcome::Refused:
      return ActionResult::Refused;
    case RestoreOutcome::Declined:
      return ActionResult::Declined;
    case RestoreOutcome::Failed:
      OfferRestoreAfterFailure();
      return ActionResult::Failed;
  }
  return ActionResult::Failed;
}

bool TForm1::OfferRestore(int index, std::string_view serial, std::string_view backup_file) {
  if (end_requested_) {
    return false;  // the program ends; its next start asks
  }
  if (messages_.Show(RestoreQuestion(index, serial, backup_file), MessageKind::Error,
                     Buttons::YesNoDefaultNo) != Answer::Yes) {
    return false;
  }
  const std::string file(backup_file);
  view_.SelectItem(index);
  // A restore that fails in turn is not offered again: the next start asks.
  recovering_ = true;
  const ActionResult result = Guarded([&] { return RestoreSelected(file, FileOwner::ThisCard); });
  recovering_ = false;
  return result == ActionResult::Done;
}

void TForm1::OfferRestoreAfterFailure() {
  if (recovering_ || sys_.writer.LastWriteState() != WriteState::Changed) {
    return;
  }
  const JournalEntry& written = sys_.writer.LastEntry();
  // The card's restore point: an earlier unfinished write keeps the older backup.
  const JournalEntry point = sys_.journal.RestorePoint(written).value_or(written);
  OfferRestore(view_.SelectedItem(), point.serialNumber, point.backupFile);
}

void TForm1::ReportUnfinishedWrites() {
  for (const std::string& damage : sys_.journal.Damage()) {
    messages_.Show(damage, MessageKind::Error, Buttons::Ok);
  }
  std::vector<JournalEntry> points = sys_.journal.Unfinished();
  const int selected = view_.SelectedItem();
  for (std::size_t i = 0; i < list_slots_.size(); ++i) {
    const auto point = FindPoint(points, list_slots_[i], list_serials_[i]);
    if (point == points.end()) {
      continue;
    }
    const JournalEntry entry = *point;
    points.erase(point);
    if (OfferRestore(static_cast<int>(i), entry.serialNumber, entry.backupFile)) {
      restored_at_start_.push_back(static_cast<int>(i));
    }
  }
  if (view_.SelectedItem() != selected) {
    view_.SelectItem(selected);
    ComboBox1Change();
  }
  for (const JournalEntry& entry : points) {
    const auto item = std::find(list_slots_.begin(), list_slots_.end(), entry.slot);
    messages_.Show(
        AbsentCardText(entry, item == list_slots_.end() ? std::nullopt
                                                        : std::optional(static_cast<std::size_t>(
                                                              item - list_slots_.begin()))),
        MessageKind::Error, Buttons::Ok);
  }
}

}  // namespace fu
