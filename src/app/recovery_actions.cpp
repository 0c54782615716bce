// Restoring cards: from a backup file the user names, from a card's restore
// point, at start-up for every listed card with an unfinished write, and at
// once after a failed write that changed the card. Only the user's own answer
// or command restores a card; the console front end is only told how.

#include <algorithm>

#include "app/flash_update_kunde_unit.h"
#include "base/cp1252.h"

namespace fu {

namespace {

std::string SerialText(std::string_view serial) {
  return std::string(serial.empty() ? "unbekannt" : serial);
}

// "Die letzte Aktualisierung der Karte 0 (Seriennummer ...) wurde nicht abgeschlossen."
std::string NotFinishedText(int index, std::string_view serial) {
  return "Die letzte Aktualisierung der Karte " + std::to_string(index) + " (Seriennummer " +
         SerialText(serial) + ") wurde nicht abgeschlossen.";
}

// program: the console program for this PC.
std::string RestoreCommand(std::string_view program, int index) {
  return "\r\n  " + std::string(program) + " restore " + std::to_string(index);
}

std::string RestoreQuestion(int index, std::string_view serial, std::string_view backup_file) {
  return NotFinishedText(index, serial) + " Die Sicherung " + std::string(backup_file) +
         std::string(
             " enthält den Stand davor. Soll die Karte jetzt daraus wiederhergestellt werden?"_cp);
}

// Report mode: what a console user runs to bring the card back.
std::string RestoreReportText(std::string_view program, int index, const JournalEntry& point) {
  return NotFinishedText(index, point.serialNumber) + " Die Sicherung " + point.backupFile +
         std::string(
             " enthält den Stand davor.\r\nEs wurde nichts zurückgeschrieben; das geschieht nur "
             "mit dem Befehl"_cp) +
         RestoreCommand(program, index);
}

std::string OpenWriteRefusalText(std::string_view program, int index, const JournalEntry& point,
                                 RestoreOffers offers) {
  std::string text = NotFinishedText(index, point.serialNumber) +
                     " Die Karte wird erst wieder aktualisiert, wenn sie";
  if (offers == RestoreOffers::Report) {
    text += " mit" + RestoreCommand(program, index) + "\r\n";
  } else {
    text += ' ';
  }
  text += "aus der Sicherung " + point.backupFile + " wiederhergestellt ist.\r\n" +
          std::string("Die Karte wurde nicht verändert."_cp);
  return text;
}

std::string AbandonCommand(std::string_view program, int index) {
  return "\r\n  " + std::string(program) + " abandon " + std::to_string(index);
}

// "Ihre Sicherung C:\... fehlt." and its like: what became of a restore point's backup.
std::string BackupStateText(std::string_view backup_file, BackupState state) {
  std::string text = "Ihre Sicherung " + std::string(backup_file);
  switch (state) {
    case BackupState::Missing:
      return text + " fehlt.";
    case BackupState::Changed:
      return text + std::string(
                        " wurde verändert: sie hat nicht mehr den Inhalt, mit dem sie "
                        "angelegt wurde."_cp);
    case BackupState::Usable:
    case BackupState::Unusable:
      break;
  }
  return text +
         std::string(" ist unbrauchbar: unlesbar, beschädigt oder ohne lesbaren Datensatz."_cp);
}

// An unfinished write whose backup is gone, changed or damaged: the card's record
// may be half written, and nothing here can bring it back by itself. failed: told
// right after a write that failed and changed the card.
std::string MissingBackupText(std::string_view program, int index, const JournalEntry& open,
                              BackupState state, bool failed) {
  std::string text =
      NotFinishedText(index, open.serialNumber) + " " + BackupStateText(open.backupFile, state) +
      std::string(
          " Der Datensatz der Karte kann halb geschrieben sein, auch wenn ihre Flashversion "
          "1.2 oder 1.3 zeigt; sie wird darum nicht aktualisiert.\r\n"_cp);
  // A backup that is there and unchanged but unusable is not brought back by a copy.
  text += state != BackupState::Unusable
              ? std::string("Legen Sie eine unveränderte Kopie der Sicherung wieder als "_cp) +
                    open.backupFile +
                    " ab, dann kann die Karte daraus wiederhergestellt werden. Oder s"
              : std::string("S");
  text += std::string("chreiben Sie die Karte aus einer anderen Sicherung von ihr zurück:"_cp) +
          RestoreCommand(program, index) + " DATEI\r\nIst keine Sicherung der Karte mehr da, gibt" +
          AbandonCommand(program, index) +
          std::string(
              "\r\nden Wiederherstellungspunkt auf; erst danach kann die Karte wieder "
              "aktualisiert werden."_cp);
  if (!failed) {
    text += std::string("\r\nDie Karte wurde nicht verändert."_cp);
  }
  return text;
}

std::string AbandonQuestion(int index, const JournalEntry& open, BackupState state) {
  return NotFinishedText(index, open.serialNumber) + " " + BackupStateText(open.backupFile, state) +
         std::string(
             "\r\n\r\nSoll der Wiederherstellungspunkt aufgegeben werden? Die Karte kann dann "
             "wieder aktualisiert werden, ohne zuvor wiederhergestellt zu sein. Ist ihr Datensatz "
             "halb geschrieben, bleibt er es, und keine Sicherung bringt den Stand davor zurück."_cp);
}

std::string UsableBackupText(std::string_view program, int index, const JournalEntry& point) {
  return "Die Sicherung " + point.backupFile +
         std::string(
             " bringt die Karte in den Stand vor ihrer nicht abgeschlossenen Aktualisierung "
             "zurück; der Wiederherstellungspunkt wird darum nicht aufgegeben. Die Karte wird "
             "mit"_cp) +
         RestoreCommand(program, index) +
         std::string("\r\nwiederhergestellt. Die Karte wurde nicht verändert."_cp);
}

std::string NoRestorePointText(int index) {
  return std::string("Für die Karte "_cp) + std::to_string(index) +
         std::string(
             " ist keine Aktualisierung offen, darum gibt es keine Sicherung, aus der sie ohne "
             "Angabe einer Datei wiederhergestellt würde. Die Karte wurde nicht verändert."_cp);
}

// A card with an unfinished write that is not in the list: the user learns
// which backup holds its earlier state.
std::string AbsentCardText(const JournalEntry& entry, BackupState state) {
  std::string text;
  const auto add = [&text](std::string_view part) { text += part; };
  add("Eine Änderung an der Karte mit der Seriennummer "_cp);
  add(entry.serialNumber.empty() ? "(unbekannt)" : entry.serialNumber);
  add(" (Vorgang \"" + entry.operation + "\")");
  add(" wurde begonnen, aber nicht abgeschlossen.\r\n");
  add("Die Karte ist nicht unter den gefundenen Karten. Die Sicherung ");
  add(entry.backupFile);
  add(" enthält ihren Stand vor der Änderung.\r\n"_cp);
  if (state != BackupState::Usable) {
    add(BackupStateText(entry.backupFile, state) + "\r\n");
  }
  add("Ohne Ihre Anweisung wird nichts zurückgeschrieben."_cp);
  return text;
}

}  // namespace

JournalEntry TForm1::CardOf(int index) const {
  JournalEntry card;
  if (index < 0 || static_cast<std::size_t>(index) >= list_slots_.size()) {
    card.slot = -1;
    return card;
  }
  card.slot = list_slots_[static_cast<std::size_t>(index)];
  const auto& serial = list_serials_[static_cast<std::size_t>(index)];
  if (serial && !serial->empty()) {
    card.serialNumber = *serial;
    return card;
  }
  const std::vector<JournalEntry> history = sys_.journal.History();
  const auto last = std::find_if(history.rbegin(), history.rend(),
                                 [&](const JournalEntry& e) { return e.slot == card.slot; });
  if (last != history.rend() && std::find(list_serials_.begin(), list_serials_.end(),
                                          last->serialNumber) == list_serials_.end()) {
    card.serialNumber = last->serialNumber;
  }
  return card;
}

void TForm1::ReportRestorePoint(int index, const JournalEntry& point) {
  if (std::find(reported_.begin(), reported_.end(), point.backupFile) != reported_.end()) {
    return;
  }
  reported_.push_back(point.backupFile);
  messages_.Show(RestoreReportText(console_program_, index, point), MessageKind::Information,
                 Buttons::Ok);
}

bool TForm1::SelectedHasOpenWrite() const {
  return SelectedSlot() && sys_.journal.OpenWrite(CardOf(view_.SelectedItem())).has_value();
}

std::optional<ActionResult> TForm1::RefuseOverOpenWrite(CardSlot slot) {
  const int index = view_.SelectedItem();
  const JournalEntry card = CardOf(index);
  const auto open = sys_.journal.OpenWrite(card);
  if (!open) {
    return std::nullopt;
  }
  const BackupState state = sys_.journal.StateOf(*open);
  if (state != BackupState::Usable) {
    ShowMissingBackup(index, *open, state);
    EndAction(slot);
    return ActionResult::Refused;
  }
  ShowError(OpenWriteRefusalText(console_program_, index, *open, offers_));
  EndAction(slot);
  if (offers_ == RestoreOffers::Ask) {
    OfferRestore(index, open->serialNumber, open->backupFile);
  }
  return ActionResult::Refused;
}

void TForm1::ShowMissingBackup(int index, const JournalEntry& open, BackupState state,
                               bool failed) {
  const std::string key = "?" + open.backupFile;
  if (!failed && offers_ == RestoreOffers::Report &&
      std::find(reported_.begin(), reported_.end(), key) != reported_.end()) {
    // Told in full at this command's start.
    ShowError(
        NotFinishedText(index, open.serialNumber) + " " + BackupStateText(open.backupFile, state) +
        std::string(" Die Karte wird darum nicht aktualisiert und wurde nicht verändert."_cp));
    return;
  }
  reported_.push_back(key);
  ShowError(MissingBackupText(console_program_, index, open, state, failed));
}

ActionResult TForm1::RestoreClick(std::string_view backup_file) {
  return Guarded([&] { return RestoreSelected(backup_file, FileOwner::Unknown); });
}

ActionResult TForm1::RestorePointClick() {
  return Guarded([&] {
    last_difference_.reset();
    const auto slot = SelectedSlot();
    if (!slot) {
      return ActionResult::Refused;
    }
    const int index = view_.SelectedItem();
    const JournalEntry card = CardOf(index);
    const auto open = sys_.journal.OpenWrite(card);
    if (!open && std::find(restored_at_start_.begin(), restored_at_start_.end(), index) !=
                     restored_at_start_.end()) {
      return ActionResult::Done;  // restored by the start-up's question
    }
    if (!open) {
      ShowError(NoRestorePointText(index));
      return ActionResult::Refused;
    }
    const BackupState state = sys_.journal.StateOf(*open);
    if (state != BackupState::Usable) {
      ShowMissingBackup(index, *open, state);
      return ActionResult::Refused;
    }
    return RestoreSelected(open->backupFile, FileOwner::ThisCard);
  });
}

ActionResult TForm1::AbandonClick() {
  return Guarded([&] {
    if (!SelectedSlot()) {
      return ActionResult::Refused;
    }
    const int index = view_.SelectedItem();
    const auto open = sys_.journal.OpenWrite(CardOf(index));
    if (!open) {
      ShowError(NoRestorePointText(index));
      return ActionResult::Refused;
    }
    const BackupState state = sys_.journal.StateOf(*open);
    if (state == BackupState::Usable) {
      ShowError(UsableBackupText(console_program_, index, *open));
      return ActionResult::Refused;
    }
    if (messages_.Show(AbandonQuestion(index, *open, state), MessageKind::Question,
                       Buttons::YesNoDefaultNo) != Answer::Yes) {
      return ActionResult::Declined;
    }
    sys_.journal.Abandon(*open);
    messages_.Show(std::string("Der Wiederherstellungspunkt der Karte "_cp) +
                       std::to_string(index) + " ist aufgegeben.",
                   MessageKind::Information, Buttons::Ok);
    return ActionResult::Done;
  });
}

ActionResult TForm1::RestoreSelected(std::string_view backup_file, FileOwner owner) {
  if (!SelectedSlot()) {
    return ActionResult::Refused;
  }
  const int card_number = view_.SelectedItem();
  last_difference_.reset();
  Busy(true);
  view_.SetProgress(0);
  const auto slot = OpenForAction();
  if (!slot) {
    return ActionResult::Failed;
  }
  view_.SetHourglass(true);
  const RestoreOutcome outcome = sys_.restore.RestoreFromBackup(
      *slot, card_number, backup_file, owner, CardOf(card_number).serialNumber);
  last_backup_ = sys_.writer.LastWrite().backupFile;
  last_difference_ =
      outcome == RestoreOutcome::Restored ? sys_.writer.LastWrite().difference : std::nullopt;
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
  if (messages_.Show(RestoreQuestion(index, serial, backup_file), MessageKind::Question,
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
  if (recovering_ || sys_.writer.LastWrite().state != WriteState::Changed) {
    return;
  }
  const JournalEntry& written = sys_.writer.LastWrite().entry;
  // The card's restore point: an earlier unfinished write keeps the older backup.
  const JournalEntry point = sys_.journal.OpenWrite(written).value_or(written);
  const BackupState state = sys_.journal.StateOf(point);
  if (state != BackupState::Usable) {
    ShowMissingBackup(view_.SelectedItem(), point, state, true);
    return;
  }
  if (offers_ == RestoreOffers::Report) {
    ReportRestorePoint(view_.SelectedItem(), point);
    return;
  }
  OfferRestore(view_.SelectedItem(), point.serialNumber, point.backupFile);
}

void TForm1::ReportUnfinishedWrites() {
  for (const std::string& damage : sys_.journal.Damage()) {
    messages_.Show(damage, MessageKind::Error, Buttons::Ok);
  }
  std::vector<JournalEntry> points = sys_.journal.Unfinished();
  const int selected = view_.SelectedItem();
  for (int i = 0; i < static_cast<int>(list_slots_.size()); ++i) {
    const JournalEntry card = CardOf(i);
    const auto point = std::find_if(points.begin(), points.end(),
                                    [&](const JournalEntry& p) { return SameCard(p, card); });
    if (point == points.end()) {
      continue;
    }
    const JournalEntry entry = *point;
    points.erase(point);
    if (const BackupState state = sys_.journal.StateOf(entry); state != BackupState::Usable) {
      ShowMissingBackup(i, entry, state);
    } else if (offers_ == RestoreOffers::Report) {
      ReportRestorePoint(i, entry);
    } else if (OfferRestore(i, entry.serialNumber, entry.backupFile)) {
      restored_at_start_.push_back(i);
    }
  }
  if (view_.SelectedItem() != selected) {
    view_.SelectItem(selected);
    ComboBox1Change();
  }
  for (const JournalEntry& entry : points) {
    messages_.Show(AbsentCardText(entry, sys_.journal.StateOf(entry)), MessageKind::Information,
                   Buttons::Ok);
  }
}

}  // namespace fu
