#include "campaign/campaign_driver.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <regex>
#include <string_view>

#include "base/cp1252.h"
#include "base/errors.h"
#include "flash/area_difference.h"
#include "flash/backup_format.h"
#include "flash/record_write.h"
#include "record/downgrade.h"
#include "record/image_codec.h"
#include "record/revision.h"
#include "record/upgrade.h"
#include "sim/default_cards.h"
#include "sim/machine_fault.h"
#include "sim/power_cut.h"

#if __has_include("platform/end_requests.h")
#include "platform/end_requests.h"
#define FU_CAMPAIGN_END_REQUESTS 1
#endif

namespace fu::campaign {
namespace {

using sim::CommandKind;
using sim::FaultAction;

constexpr std::size_t kRecordStart = 0x1000;
// The record's bytes, whichever revision: program offsets 0 to 7173.
constexpr std::size_t kRecordEnd = kRecordStart + record_write::kRecordWords;
constexpr std::size_t kOwnBytes = 0x2E00;  // where a card keeps data after its record

// Whether an erase address is that of the write's road: an upgrade erases at
// 0xD02000, a downgrade at 0xD01000, a restore as the road of the revision its
// file holds.
bool ErasesAsItsRoad(Action action, std::uint32_t address) {
  switch (action) {
    case Action::Upgrade:
      return address == 0xD02000;
    case Action::Downgrade:
      return address == 0xD01000;
    case Action::Restore:
      return address == 0xD02000 || address == 0xD01000;
    case Action::Dump:
      return false;
  }
  return false;
}

// Thrown from inside the simulated card: the program dies on the spot. It is no
// std::exception, so no handler of the program catches it.
struct ProgramDeath {};

constexpr std::string_view kRestoreQuestion =
    "Soll die Karte jetzt daraus wiederhergestellt werden?";
constexpr std::string_view kTakeOverQuestion = "ist als belegt markiert";
// How a question says that the file belongs to another card.
constexpr std::string_view kOtherCards[] = {"gehört zu einer anderen Karte"_cp,
                                            ", nicht von Karte "};
constexpr std::string_view kRestored = " wiederhergestellt.";
constexpr std::string_view kEndedAfterWrite = "sollte beendet werden";

bool NamesOtherCard(std::string_view text) {
  return std::any_of(std::begin(kOtherCards), std::end(kOtherCards),
                     [&](std::string_view part) { return text.find(part) != text.npos; });
}

bool Says(const std::vector<std::string>& texts, std::string_view part) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const std::string& t) { return t.find(part) != std::string::npos; });
}

bool AnySuccess(const std::vector<std::string>& texts) {
  return std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
    return t.starts_with("Flash erfolgreich") || t.starts_with("Dump erfolgreich") ||
           t.find("wiederhergestellt.") != std::string::npos;
  });
}

// The messages of the action itself, before any restore it offered.
std::vector<std::string> BeforeRestoreQuestion(const std::vector<std::string>& texts) {
  const auto question = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
    return t.find(kRestoreQuestion) != std::string::npos;
  });
  return {texts.begin(), question};
}

// The backup files the texts name, in the order named.
std::vector<std::string> NamedBackups(const std::vector<std::string>& texts) {
  static const std::regex kPath(R"(C:\\[^\s"]+?\.SAV)", std::regex::icase);
  std::vector<std::string> files;
  for (const auto& text : texts) {
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kPath);
         it != std::sregex_iterator(); ++it) {
      if (std::find(files.begin(), files.end(), it->str()) == files.end()) {
        files.push_back(it->str());
      }
    }
  }
  return files;
}

// Offsets into the area of the bytes a card's erase clears.
std::pair<std::size_t, std::size_t> EraseRange(const sim::SimCardSettings& settings) {
  return {settings.eraseFrom - sim::kFlashStart, settings.eraseTo - sim::kFlashStart + 1};
}

// Whether the flash outside what the card's erase clears is as it was.
bool OutsideEraseEqual(const Bytes& a, const Bytes& b, const sim::SimCardSettings& settings) {
  const auto [from, to] = EraseRange(settings);
  return std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(from), b.begin()) &&
         std::equal(a.begin() + static_cast<std::ptrdiff_t>(to), a.end(),
                    b.begin() + static_cast<std::ptrdiff_t>(to));
}

bool RecordEqual(const Bytes& a, const Bytes& b) {
  return std::equal(a.begin() + kRecordStart, a.begin() + kRecordEnd, b.begin() + kRecordStart);
}

// The words of the record road a backup or card of this content is written
// by: 6945 for revision 1.2, else the 1.3 image's 7174.
std::size_t RoadWords(const Bytes& flash) {
  const RecordV12 v12(std::span<const std::uint8_t>(flash).subspan(kRecordStart, kRecordV12Size));
  return RecognizeRevision(v12) == kRevision12 ? record_write::kWordsV12
                                               : record_write::kRecordWords;
}

// The first and last offset beyond the first `words` of the record where the
// two differ.
std::optional<std::pair<std::size_t, std::size_t>> BeyondRecord(
    const Bytes& a, const Bytes& b, std::size_t words = record_write::kRecordWords) {
  std::optional<std::pair<std::size_t, std::size_t>> range;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if ((i < kRecordStart || i >= kRecordStart + words) && a[i] != b[i]) {
      range = std::pair(range ? range->first : i, i);
    }
  }
  return range;
}

// Whether the texts say where the card differs from what should be there beyond
// the first `words` of its record, as the program must: from the first to the
// last address, or that it could not read the area alike twice.
bool ToldBeyondRecord(const std::vector<std::string>& texts, const Bytes& card, const Bytes& should,
                      std::size_t words = record_write::kRecordWords) {
  const auto range = BeyondRecord(card, should, words);
  if (!range || Says(texts, "konnte danach nicht zweimal gleich gelesen werden")) {
    return true;
  }
  const std::string first = AreaAddressText(range->first);
  return range->first == range->second
             ? Says(texts, "an Adresse " + first)
             : Says(texts, "von Adresse " + first + " bis " + AreaAddressText(range->second));
}

std::optional<Bytes> FileFlash(sim::SimPc& pc, const std::string& path) {
  try {
    const auto parsed = ParseBackupFile(pc.Drive().Contents(path));
    if (!parsed.Restorable()) {
      return std::nullopt;
    }
    Bytes flash;
    std::copy(parsed.flash.begin(), parsed.flash.end(), flash.begin());
    return flash;
  } catch (const FileError&) {
    return std::nullopt;
  }
}

// Whether a restorable backup on drive C: holds exactly this flash area. Only a
// check that one existed, never the road back.
bool EqualBackupExists(sim::SimPc& pc, const Bytes& flash) {
  const auto names = pc.Drive().List("C:\\");
  return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
    return name.ends_with(".SAV") && FileFlash(pc, "C:\\" + name) == flash;
  });
}

// What a write of the action that succeeds leaves on a card that held `before`:
// the record converted by the system's own functions, erased sector around it.
std::optional<Bytes> ConvertedFlash(Action action, const Bytes& before,
                                    const sim::SimCardSettings& settings) {
  const auto record_area = std::span(before).subspan(kRecordStart);
  std::vector<std::uint8_t> written;
  if (action == Action::Upgrade) {
    const RecordV12 old(record_area.first(kRecordV12Size));
    if (RecognizeRevision(old) != kRevision12) {
      return std::nullopt;
    }
    ScriptedMessageService yes;
    for (int i = 0; i < 8; ++i) {
      yes.Script(Answer::Yes);
    }
    RecordV13 record;
    try {
      UpgradeRecord(old, record, yes);
    } catch (const RaisedError&) {
      return std::nullopt;
    }
    ImageV13 image;
    EncodeImage(record, image);
    written.assign(image.bytes.begin(), image.bytes.end());
  } else if (action == Action::Downgrade) {
    const std::vector<HostWord> words(record_area.begin(), record_area.begin() + kImageV13Size);
    ImageV13 image;
    WordsToImage(std::span<const HostWord, kImageV13Size>(words), image);
    RecordV13 record;
    DecodeImage(image, record);
    if (RecognizeRevision(record) != kRevision13) {
      return std::nullopt;
    }
    RecordV12 old;
    DowngradeRecord(record, old);
    written.assign(old.Bytes().begin(), old.Bytes().end());
  } else {
    return std::nullopt;
  }
  Bytes after = before;
  const auto [from, to] = EraseRange(settings);
  std::fill(after.begin() + static_cast<std::ptrdiff_t>(from),
            after.begin() + static_cast<std::ptrdiff_t>(to), 0xFF);
  std::copy(written.begin(), written.end(), after.begin() + kRecordStart);
  return after;
}

// Arms the interrupt on the program's card or drive.
void Arm(Program& p, std::size_t card, const Interrupt& interrupt) {
  using Kind = Interrupt::Kind;
  if (interrupt.kind == Kind::kCrash || interrupt.kind == Kind::kCardPowerCut) {
    sim::SimCard& c = p.Pc().Card(card);
    c.SetCommandBegunHandler(
        [&c, interrupt, seen = std::uint32_t{0}](const sim::CommandRecord& command) mutable {
          if (++seen != interrupt.nth) {
            return;
          }
          if (interrupt.kind == Kind::kCrash) {
            throw ProgramDeath{};
          }
          // Counted as the command's fault right after this handler.
          c.Faults().commands.insert(c.Faults().commands.begin(),
                                     {command.kind, 1, FaultAction::kPowerCut, 0});
        });
  }
  if (interrupt.kind == Kind::kDrivePowerCut) {
    p.Pc().Drive().CutPowerAt(interrupt.nth);
  }
}

void Disarm(Program& p, std::size_t card) {
  p.Pc().Card(card).SetCommandBegunHandler({});
  p.Pc().Drive().CutPowerAt(0);
}

// Runs a part of a program's life that an interrupt may end. Returns the
// interrupt that ended it, or "" when it ran to its end.
std::string RunInterruptible(Program& p, const std::function<void()>& part) {
  try {
    part();
    return "";
  } catch (const ProgramDeath&) {
    return "died";
  } catch (const sim::PowerCut&) {
    p.Pc().LosePower();
    return "power cut";
  }
}

// What the program's run left to judge: machine faults and the problems its
// message boxes showed (taken once).
void CheckMachine(Program& p, Outcome& out) {
  for (const auto& fault : p.Pc().MachineFaults()) {
    out.problems.push_back("machine fault: " + sim::Describe(fault));
  }
  for (auto& problem : p.messages.problems) {
    out.problems.push_back(std::move(problem));
  }
  p.messages.problems.clear();
  out.acceptedOtherCard = out.acceptedOtherCard || p.messages.acceptedOtherCard;
}

std::optional<std::string> SerialOf(const Bytes& flash) {
  const auto area = std::span(flash).subspan(kRecordStart);
  const RecordV12 old(area.first(kRecordV12Size));
  if (RecognizeRevision(old) == kRevision12) {
    return old.Get(v12::SerialNumber);
  }
  const std::vector<HostWord> words(area.begin(), area.begin() + kImageV13Size);
  ImageV13 image;
  WordsToImage(std::span<const HostWord, kImageV13Size>(words), image);
  RecordV13 record;
  DecodeImage(image, record);
  if (RecognizeRevision(record) == kRevision13) {
    return record.SerialNumber.str();
  }
  return std::nullopt;
}

// No card holds another card's serial number, unless the user said Yes to a
// question that named the mismatch.
void CheckOwnership(sim::SimPc& pc, const std::vector<std::optional<std::string>>& serials,
                    Outcome& out) {
  for (std::size_t c = 0; c < pc.CardCount() && c < serials.size(); ++c) {
    const auto now = SerialOf(pc.Card(c).Flash().AllBytes());
    const bool another =
        now && now != serials[c] && std::find(serials.begin(), serials.end(), now) != serials.end();
    if (another && !out.acceptedOtherCard) {
      out.problems.push_back("card " + std::to_string(c) + " holds the backup of card " + *now);
    }
  }
}

std::vector<std::string> BackupNames(sim::SimPc& pc) {
  std::vector<std::string> names;
  for (const auto& name : pc.Drive().List("C:\\")) {
    if (name.starts_with("FLASH_") && name.ends_with(".SAV")) {
      names.push_back(name);
    }
  }
  return names;
}

bool Wrote(const std::vector<sim::CommandRecord>& commands, std::size_t from) {
  return std::any_of(commands.begin() + static_cast<std::ptrdiff_t>(from), commands.end(),
                     [](const auto& c) { return c.kind != CommandKind::kRead; });
}

// Every erase the card saw from command `from` on has the address of its write:
// the first that of the action, any later one (a restore the program offered
// after a failure) that of a restore.
void CheckErases(Program& p, std::size_t card, std::size_t from, Action action, Outcome& out) {
  const auto& commands = p.Pc().Card(card).Diagnostics().commands;
  for (std::size_t i = from; i < commands.size(); ++i) {
    if (commands[i].kind != CommandKind::kErase) {
      continue;
    }
    if (!ErasesAsItsRoad(action, commands[i].address)) {
      char text[80];
      std::snprintf(text, sizeof text, "%s erased at 0x%06X", Name(action),
                    static_cast<unsigned>(commands[i].address));
      out.problems.push_back(text);
    }
    action = Action::Restore;
  }
}

// The faults of the scenario end; the busy flag stays as the last program left
// it, unless it was another program's and that program has ended.
void ClearFaults(const std::filesystem::path& folder, bool other_program_ended) {
  sim::SimPc pc(folder);
  for (std::size_t c = 0; c < pc.CardCount(); ++c) {
    pc.Card(c).Faults() = {};
  }
  pc.SetRefuseMap(false);
  pc.SetRefuseUnmap(false);
  pc.SetDriverFilesPresent(true);
  pc.SetRefuseServiceManager(false);
  pc.SetFailingStop(false);
  pc.SetDriveReadOnly(false);
  pc.SetDriveFreeSpace(std::nullopt);
  for (std::size_t c = 0; other_program_ended && c < pc.CardCount(); ++c) {
    pc.SetBusyHeldByOther(c, false);
  }
  pc.Save();
}

ActionResult Act(Program& p, Action action, const std::string& restore_file) {
  switch (action) {
    case Action::Upgrade:
      return p.form->Button2Click();
    case Action::Downgrade:
      return p.form->Button3Click();
    case Action::Dump:
      return p.form->Button4Click();
    case Action::Restore:
      return p.form->RestoreClick(restore_file);
  }
  return ActionResult::Failed;
}

void Select(Program& p, std::size_t card) {
  p.view.SelectItem(static_cast<int>(card));
  p.form->ComboBox1Change();
}

// A write or dump that told its success: the card and the file must be as told.
// Beyond its record a card may differ from what it held (a write) or from its
// file (a restore) only where its erase reaches, or a fault made it reach, and
// only when the program said where.
void CheckDone(Program& p, std::size_t card, Action action, const Bytes& before,
               const std::optional<Bytes>& converted, const std::string& restore_file, bool spills,
               Outcome& out) {
  const Bytes& after = p.Pc().Card(card).Flash().AllBytes();
  const auto texts = p.messages.Texts();
  if (!AnySuccess(texts)) {
    out.problems.push_back("done without telling");
  }
  if (action == Action::Upgrade || action == Action::Downgrade) {
    if (!converted || !RecordEqual(*converted, after) || (!spills && *converted != after)) {
      out.problems.push_back("done, but the card does not hold the converted record");
    }
    if (!ToldBeyondRecord(texts, after, before)) {
      out.problems.push_back("done, but the flash beyond the record changed untold");
    }
  }
  const std::string file = action == Action::Restore ? restore_file : p.form->LastBackupFile();
  const auto saved = FileFlash(p.Pc(), file);
  if (action == Action::Dump && saved != after) {
    out.problems.push_back("done, but the card differs from the file " + file);
  }
  if (action == Action::Restore && (!saved || !RecordEqual(*saved, after) ||
                                    !ToldBeyondRecord(texts, after, *saved, RoadWords(*saved)))) {
    out.problems.push_back("done, but the card differs from the file " + file + " untold");
  }
}

// The checks of an action that ran to its end, in its own program.
void CheckEnded(Program& p, std::size_t card, Action action, ActionResult result,
                const Bytes& before, const std::optional<Bytes>& converted,
                const std::string& restore_file, bool spills,
                const std::vector<std::string>& startup_texts, bool erased, Outcome& out) {
  const auto texts = p.messages.Texts();
  if (result == ActionResult::Refused) {
    out.verdict = startup_texts.empty() ? "refused, shown" : "refused, start-up showed why";
    if (startup_texts.empty() && texts.empty()) {
      out.problems.push_back("no card and no word why");
    }
    return;
  }
  if (result == ActionResult::Done) {
    out.verdict = "done";
    CheckDone(p, card, action, before, converted, restore_file, spills, out);
    return;
  }
  out.verdict = "failed, shown";
  if (AnySuccess(BeforeRestoreQuestion(texts))) {
    out.problems.push_back("failure reported as success");
  }
  const bool unchanged = Says(texts, "Die Karte ist unverändert."_cp);
  const bool asked = Says(texts, kRestoreQuestion);
  if (unchanged) {
    out.verdict += ", unchanged";
  } else if (asked) {
    out.verdict += ", asked";
  } else if (Says(texts, kEndedAfterWrite)) {
    out.verdict += ", ends, the next start asks";  // the user asked it to end
  } else if (Says(texts, "kann halb geschrieben sein")) {
    out.verdict += ", told its backup cannot restore";
  } else if (erased && p.system->writer.LastWrite().state != WriteState::Written) {
    out.problems.push_back("the card's state after the failed write not told");
  }
  if (!erased && (unchanged || asked)) {
    out.problems.push_back("card state told although nothing was erased");
  }
  if (texts.empty()) {
    out.problems.push_back("failure not shown");
    out.verdict = "failed, silent";
  }
  if (p.view.Visible(Control::Label6) || p.view.Visible(Control::ProgressBar1) ||
      p.view.Hourglass()) {
    out.problems.push_back("window not idle");
  }
  for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
    if (p.system->slots.OpenCount(slot) != 0) {
      out.problems.push_back("slot left open");
    }
  }
}

// The user's road back, in a new program: Yes to the start-up's question, then
// each "restore N FILE" the program told, done to the letter (it may name
// another card's list number when the card moved), then "restore N" from the
// restore point, then the backups the start-up named; for a restore, the file
// the user restores from. True when the card holds the target's record.
bool RoadBack(Program& q, std::size_t card, Action action, const std::string& restore_file,
              const Bytes& target) {
  const auto now = [&] { return q.Pc().Card(card).Flash().AllBytes(); };
  // Back, and known so: the record is the target's and no write of the card is
  // unfinished (the user goes on as the program told him until it is closed).
  // What beyond the record no restore brings back, the restore said.
  const auto back = [&] {
    Select(q, card);
    return RecordEqual(now(), target) && !q.form->SelectedHasOpenWrite();
  };
  static const std::regex kTold(R"(restore (\d+) (C:\\[^\s"]+?\.SAV))", std::regex::icase);
  for (const auto& text : q.messages.Texts()) {
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kTold);
         it != std::sregex_iterator() && !back(); ++it) {
      const auto item = static_cast<std::size_t>(std::stoul((*it)[1].str()));
      if (item < q.Pc().CardCount()) {
        Select(q, item);
        q.form->RestoreClick((*it)[2].str());
      }
    }
  }
  if (!back() && action != Action::Restore) {
    Select(q, card);
    q.form->RestorePointClick();
  }
  auto files = action == Action::Restore ? std::vector<std::string>{restore_file}
                                         : NamedBackups(q.messages.Texts());
  for (const auto& file : files) {
    if (back()) {
      break;
    }
    Select(q, card);
    q.form->RestoreClick(file);
  }
  return RecordEqual(now(), target);
}

// The user who said No to every restore offer: a new program in which he lists
// and refreshes every card, dumps another card and tries the write the damaged
// card's record allows. Nothing may write a card with an open restore point.
void TryOthers(const std::filesystem::path& folder, std::size_t card, Outcome& out) {
  Program r(folder, Answer::Yes, Answer::No);
  r.Start();
  std::vector<Bytes> held;
  for (std::size_t c = 0; c < r.Pc().CardCount(); ++c) {
    held.push_back(r.Pc().Card(c).Flash().AllBytes());
    Select(r, c);
  }
  Select(r, (card + 1) % r.Pc().CardCount());
  r.form->Button4Click();
  Select(r, card);
  const std::size_t from = r.Pc().Card(card).Diagnostics().commands.size();
  const ActionResult again =
      HoldsRevision12(r.Pc(), card) ? r.form->Button2Click() : r.form->Button3Click();
  if (again == ActionResult::Done || Wrote(r.Pc().Card(card).Diagnostics().commands, from)) {
    out.problems.push_back("a card with an open restore point was written again");
  }
  for (std::size_t c = 0; c < held.size(); ++c) {
    if (r.Pc().Card(c).Flash().AllBytes() != held[c]) {
      out.problems.push_back("card " + std::to_string(c) + " changed before a restore was asked");
    }
  }
  CheckMachine(r, out);
  out.verdict += ", No, others tried";
}

// The user who said No to the restore offers and whose restore point's backup
// is gone (or replaced by another backup of the card) when the next
// program starts: every start must name the file and what became of it, offer
// no other backup, take no new backup under its name and write nothing. Then
// he puts his copy back, and the usual road must bring the card back.
void LoseBackup(const std::filesystem::path& folder, std::size_t card, User user, Outcome& out) {
  std::string file;
  std::vector<std::uint8_t> copy;
  {
    Program r(folder);
    for (const JournalEntry& open : r.system->journal.Unfinished()) {
      if (open.slot == static_cast<CardSlot>(card)) {
        file = open.backupFile;
      }
    }
    if (file.empty()) {
      return;  // the card is as its backup holds it
    }
    copy = r.Pc().Drive().Contents(file);
    if (user == User::kLosesBackup) {
      r.Pc().Drive().Uninstall(file);
    } else {
      // A whole backup of the card as the failed write left it, under the name.
      const Bytes& now = r.Pc().Card(card).Flash().AllBytes();
      r.Pc().Drive().Install(file,
                             EncodeBlockWithChecks(std::vector<HostWord>(now.begin(), now.end())));
    }
  }
  Program r(folder);
  const Bytes held = r.Pc().Card(card).Flash().AllBytes();
  r.Start();
  const std::string what = user == User::kLosesBackup ? " fehlt" : " wurde ver";
  if (!Says(r.messages.Texts(), file + what)) {
    out.problems.push_back("the start-up did not tell that " + file + " is gone or altered");
  }
  if (Says(r.messages.Texts(), kRestoreQuestion)) {
    out.problems.push_back("another backup offered in place of " + file);
  }
  Select(r, card);
  r.form->Button4Click();
  if (user == User::kLosesBackup && r.Pc().Drive().Exists(file)) {
    out.problems.push_back("a new backup took the name " + file);
  }
  const ActionResult again =
      HoldsRevision12(r.Pc(), card) ? r.form->Button2Click() : r.form->Button3Click();
  if (again == ActionResult::Done || r.Pc().Card(card).Flash().AllBytes() != held) {
    out.problems.push_back("a card whose backup is gone was written");
  }
  CheckMachine(r, out);
  r.Pc().Drive().Install(file, copy);
  out.verdict +=
      user == User::kLosesBackup ? ", backup lost and put back" : ", backup altered and put back";
}

}  // namespace

const char* Name(Action action) {
  switch (action) {
    case Action::Upgrade:
      return "upgrade";
    case Action::Downgrade:
      return "downgrade";
    case Action::Dump:
      return "dump";
    case Action::Restore:
      return "restore";
  }
  return "?";
}

const char* Interrupt::Name() const {
  switch (kind) {
    case Kind::kNone:
      return "";
    case Kind::kCrash:
      return "program dies";
    case Kind::kCardPowerCut:
      return "card loses power";
    case Kind::kDrivePowerCut:
      return "drive C: loses power";
  }
  return "?";
}

const char* Name(User user) {
  switch (user) {
    case User::kCareful:
      return "careful user";
    case User::kSaysNo:
      return "user says No, tries others";
    case User::kMover:
      return "user moves the card";
    case User::kInterrupter:
      return "user ends the program";
    case User::kLosesBackup:
      return "user loses the backup";
    case User::kAltersBackup:
      return "user alters the backup";
  }
  return "?";
}

Answer CampaignMessages::Show(std::string_view text, MessageKind kind, Buttons buttons) {
  const bool offer = text.find(kRestoreQuestion) != std::string_view::npos;
  const bool other_card = NamesOtherCard(text);
  if ((offer || (other_card && IsQuestion(buttons))) && buttons != Buttons::YesNoDefaultNo) {
    problems.push_back("a question that writes the card does not default to No: " +
                       std::string(text));
  }
  if (answerer && IsQuestion(buttons)) {
    Script(answerer(text));
  }
  const Answer answer = ScriptedMessageService::Show(text, kind, buttons);
  if (other_card && answer == Answer::Yes) {
    acceptedOtherCard = true;
  }
  if (judge) {
    judge(text);
  }
  if (shown) {
    shown(text);
  }
  return answer;
}

Program::Program(const std::filesystem::path& folder, Answer answer, Answer restore,
                 Answer take_over)
    : machine(folder) {
  system =
      std::make_unique<FlashUpdateSystem>(Ports{machine.System(), machine.Ports(), machine.Bus(),
                                                machine.Time(), machine.Drive(), messages, splash});
  form = std::make_unique<TForm1>(*system, view);
  messages.answerer = [answer, restore, take_over](std::string_view text) {
    if (NamesOtherCard(text)) {
      return Answer::No;
    }
    if (text.find(kTakeOverQuestion) != std::string_view::npos) {
      return take_over;
    }
    return text.find(kRestoreQuestion) != std::string_view::npos ? restore : answer;
  };
  // A card said to be restored holds its file's record, and where it differs
  // from the file beyond the record, the program has said so.
  messages.judge = [this](std::string_view text) {
    if (text.find(kRestored) == std::string_view::npos) {
      return;
    }
    const int item = view.SelectedItem();
    for (const auto& file : NamedBackups({std::string(text)})) {
      const auto should = FileFlash(Pc(), file);
      if (item < 0 || static_cast<std::size_t>(item) >= Pc().CardCount() || !should) {
        messages.problems.push_back("said restored from " + file + ", which is no backup");
        continue;
      }
      const Bytes& card = Pc().Card(static_cast<std::size_t>(item)).Flash().AllBytes();
      if (!RecordEqual(card, *should)) {
        messages.problems.push_back("said restored, but the record of card " +
                                    std::to_string(item) + " differs from " + file);
      } else if (!ToldBeyondRecord(messages.Texts(), card, *should, RoadWords(*should))) {
        messages.problems.push_back("said restored, but card " + std::to_string(item) +
                                    " differs from " + file + " beyond its record, untold");
      }
    }
  };
}

bool HoldsRevision12(sim::SimPc& pc, std::size_t card) {
  const auto& flash = pc.Card(card).Flash().AllBytes();
  return RecognizeRevision(RecordV12(std::span(flash).subspan(kRecordStart, kRecordV12Size))) ==
         kRevision12;
}

void SetSerialNumber(sim::SimPc& pc, std::size_t card, const std::string& serial) {
  auto& flash = pc.Card(card).Flash().AllBytes();
  const auto area = std::span(flash).subspan(kRecordStart);
  if (HoldsRevision12(pc, card)) {
    RecordV12 record(area.first(kRecordV12Size));
    record.Set(v12::SerialNumber, serial);
    std::copy(record.Bytes().begin(), record.Bytes().end(), area.begin());
  } else {
    const std::vector<HostWord> words(area.begin(), area.begin() + kImageV13Size);
    ImageV13 image;
    WordsToImage(std::span<const HostWord, kImageV13Size>(words), image);
    RecordV13 record;
    DecodeImage(image, record);
    record.SerialNumber = serial;
    EncodeImage(record, image);
    std::copy(image.bytes.begin(), image.bytes.end(), area.begin());
  }
  pc.Save();
}

void AddTwin(sim::SimPc& pc) {
  pc.AddCardLike(0, {2, 1, 0xFE800000});
  std::string serial = SerialOf(pc.Card(0).Flash().AllBytes()).value_or("0");
  serial.back() = serial.back() == '9' ? '0' : static_cast<char>(serial.back() + 1);
  SetSerialNumber(pc, pc.CardCount() - 1, serial);
  // Its own factory data too, where the card carries some.
  auto& flash = pc.Card(pc.CardCount() - 1).Flash().AllBytes();
  const auto factory = flash.begin() + (sim::kFactoryDataStart - sim::kFlashStart);
  if (std::equal(factory, factory + 4, "WERK")) {
    std::fill(std::copy(serial.begin(), serial.end(), factory + 4), factory + sim::kFactoryDataSize,
              std::uint8_t{0});
  }
  pc.Save();
}

Outcome RunScenario(const std::filesystem::path& folder, std::size_t card, Action action,
                    const Scenario& s) {
  Outcome out;
  std::vector<std::optional<std::string>> serials;  // each card's own serial number
  std::string restore_file;
  Bytes before{};
  Bytes ended{};  // the card when the action's program ended
  std::vector<Bytes> others;
  std::string stopped;
  bool finished = false;       // the action told its success
  bool erased_any = false;     // an erase reached the card, in the action or its recovery
  bool held_at_start = false;  // by another program, from before the start-up
  if (s.beforeStart) {
    sim::SimPc pc(folder);
    s.beforeStart(pc);
    pc.Save();
    held_at_start = s.heldByOther && (pc.Card(card).Control() & sim::kHctrBusy) != 0;
  }
  std::vector<std::string> told;  // what the action's program said
  sim::SimCardSettings settings;
  {
    const bool says_no = s.secondFailedWrite || s.user == User::kSaysNo ||
                         s.user == User::kLosesBackup || s.user == User::kAltersBackup;
    Program p(folder, s.secondFailedWrite ? Answer::No : Answer::Yes,
              says_no ? Answer::No : Answer::Yes, s.heldByOther ? Answer::No : Answer::Yes);
    settings = p.Pc().CardSettings(card);
    p.Start();
    const auto startup_texts = p.messages.Texts();
    // A card another program holds gets no command from this one.
    const auto held = [&] { return (p.Pc().Card(card).Control() & sim::kHctrBusy) != 0; };
    std::optional<std::size_t> held_from;
    if (held_at_start) {
      held_from = 0;
    }
    if (!s.startupMustSay.empty() && !Says(startup_texts, s.startupMustSay)) {
      out.problems.push_back("start-up kept quiet about the fault");
    }
    // A card without data of its own after its record gets some, so that every
    // backup and restore is tested where it matters.
    auto& flash = p.Pc().Card(card).Flash().AllBytes();
    const auto own = flash.begin() + kOwnBytes;
    if (std::all_of(own, own + 16, [](std::uint8_t b) { return b == 0xFF; })) {
      for (std::size_t i = 0; i < 16; ++i) {
        own[static_cast<std::ptrdiff_t>(i)] = static_cast<std::uint8_t>(0x5A ^ i);
      }
      p.Pc().Save();
    }
    if (action == Action::Restore) {
      // A backup of the card's good state, then its record damaged and its own
      // bytes gone.
      Select(p, s.restoreTwin ? p.Pc().CardCount() - 1 : card);
      p.form->Button4Click();
      restore_file = p.form->LastBackupFile();
      std::fill_n(flash.begin() + kRecordStart, 100, 0x00);
      std::fill_n(flash.begin() + kOwnBytes, 16, 0xFF);
      p.Pc().Save();
    }
    before = flash;
    for (std::size_t c = 0; c < p.Pc().CardCount(); ++c) {
      others.push_back(p.Pc().Card(c).Flash().AllBytes());
      serials.push_back(SerialOf(others.back()));
    }
    const std::optional<Bytes> converted = ConvertedFlash(action, before, settings);
    Select(p, card);
    p.messages.Clear();
    if (s.inject) {
      s.inject(p, card);
    }
    if (s.alteredRead) {
      p.Pc().Drive().SetAlteredRead(s.alteredRead);
    }
    const std::size_t commands_before = p.Pc().Card(card).Diagnostics().commands.size();
    const std::uint32_t changes_before = p.Pc().Drive().Changes();
    const auto backups_before = BackupNames(p.Pc());
    if (!held_from && held()) {
      held_from = commands_before;
    }
    // The user's end request: held (the program must end after the write), or
    // carried out at once, which must not be in the middle of a write: at its
    // erase, a block or the verify read after the last block.
    bool end_held = false;
    bool ended_in_write = false;
#ifdef FU_CAMPAIGN_END_REQUESTS
    HeldEndRequests ends;
    if (s.user == User::kInterrupter) {
      p.form->SetEndRequests(ends);
      p.Pc().Card(card).SetCommandBegunHandler([&, at = s.endAt, seen = std::uint32_t{0},
                                                last = CommandKind::kRead](
                                                   const sim::CommandRecord& command) mutable {
        const bool in_write = command.kind != CommandKind::kRead || last == CommandKind::kProgram;
        last = command.kind;
        if (++seen != at) {
          return;
        }
        ends.Request();
        end_held = ends.EndedAtOnce() == 0;
        if (!end_held) {
          ended_in_write = in_write;
          throw ProgramDeath{};
        }
      });
    }
#else
    if (s.user == User::kInterrupter) {
      out.problems.push_back("the program takes no end requests");
    }
#endif
    Arm(p, card, s.interrupt);
    ActionResult result = ActionResult::Failed;
    stopped = RunInterruptible(p, [&] { result = Act(p, action, restore_file); });
    Disarm(p, card);
    const auto& commands = p.Pc().Card(card).Diagnostics().commands;
    for (std::size_t i = commands_before; i < commands.size(); ++i) {
      out.commands.push_back(commands[i].kind);
    }
    out.driveChanges = p.Pc().Drive().Changes() - changes_before;
    const bool erased =
        std::any_of(commands.begin() + static_cast<std::ptrdiff_t>(commands_before), commands.end(),
                    [](const auto& c) { return c.kind == CommandKind::kErase; });
    erased_any = erased;
    CheckErases(p, card, commands_before, action, out);
    if (!s.spills && !OutsideEraseEqual(before, p.Pc().Card(card).Flash().AllBytes(), settings)) {
      out.problems.push_back("flash beyond what the card's erase clears changed");
    }
    if (held_from && (commands.size() > *held_from || result == ActionResult::Done || !held())) {
      out.problems.push_back("a card held by another program was used");
    }
    if (p.Pc().Drive().AlteredBytes() > 0 && action != Action::Restore) {
      if (BackupNames(p.Pc()) != backups_before) {
        out.problems.push_back("a backup read back altered got its name");
      }
      if (erased) {
        out.problems.push_back("erased after the backup read back altered");
      }
    }
    if (result == ActionResult::Refused || result == ActionResult::Declined) {
      if (Wrote(commands, commands_before)) {
        out.problems.push_back("a refused action wrote to the card");
      }
      for (std::size_t c = 0; c < others.size(); ++c) {
        if (p.Pc().Card(c).Flash().AllBytes() != (c == card ? before : others[c])) {
          out.problems.push_back("a refused action changed card " + std::to_string(c));
        }
      }
    }
    if (s.user == User::kInterrupter) {
      const auto texts = p.messages.Texts();
      const auto said_ended = std::count_if(texts.begin(), texts.end(), [](const std::string& t) {
        return t.find(kEndedAfterWrite) != std::string::npos;
      });
      if (ended_in_write) {
        out.problems.push_back("an end request stopped the write");
      }
      if (end_held && stopped.empty() && (said_ended != 1 || !p.view.QuitRequested())) {
        out.problems.push_back("an end request during the write was not carried out after it");
      }
      if (end_held && s.inject == nullptr && result != ActionResult::Done) {
        out.problems.push_back("the write did not run to its end");
      }
    }
    if (!stopped.empty()) {
      out.verdict = stopped;
      if (AnySuccess(p.messages.Texts())) {
        // It stopped after telling its success (in the window's refresh).
        out.verdict += " after success";
        finished = true;
        CheckDone(p, card, action, before, converted, restore_file, s.spills, out);
      }
    } else {
      CheckEnded(p, card, action, result, before, converted, restore_file, s.spills, startup_texts,
                 erased, out);
      finished = result == ActionResult::Done;
      if (s.mustSucceed && result != ActionResult::Done) {
        out.problems.push_back("the action without a fault did not succeed");
      }
      if (s.secondFailedWrite && p.Pc().Card(card).Flash().AllBytes() != before) {
        // The user said No; a restore from the restore point fails in turn, in
        // the first block of its record.
        p.Pc().Card(card).Faults().commands = {{CommandKind::kProgram, 1, FaultAction::kFail, 0}};
        Select(p, card);
        const std::size_t from = p.Pc().Card(card).Diagnostics().commands.size();
        if (p.form->RestorePointClick() == ActionResult::Failed) {
          out.verdict += ", No, second write failed";
        }
        CheckErases(p, card, from, Action::Restore, out);
      }
    }
    CheckMachine(p, out);
    ended = p.Pc().Card(card).Flash().AllBytes();
    told = p.messages.Texts();
  }
  const bool damaged = !finished && ended != before;
  if (s.user == User::kSaysNo && damaged) {
    ClearFaults(folder, s.heldByOther);
    TryOthers(folder, card, out);
  }
  if ((s.user == User::kLosesBackup || s.user == User::kAltersBackup) && damaged) {
    ClearFaults(folder, s.heldByOther);
    LoseBackup(folder, card, s.user, out);
  }
  // The mover takes the damaged card to another slot; the campaign follows it.
  std::optional<std::size_t> moved_from;
  if (s.user == User::kMover && damaged) {
    sim::SimPc pc(folder);
    const std::size_t to = s.moveTo.value_or((card + 1) % pc.CardCount());
    pc.SwapCards(card, to);
    std::swap(others[card], others[to]);
    std::swap(serials[card], serials[to]);
    moved_from = card;
    card = to;
    out.verdict += ", moved";
  }
  // New programs on the same PC, without faults, until one gets through its
  // start-up: the card must come back on the user's road.
  const bool done = finished;
  Interrupt pending = s.recoveryInterrupt;
  for (int run = 1;; ++run) {
    const bool first = run == 1;
    ClearFaults(folder, s.heldByOther);  // a power cut saved the card's faults with it
    Program q(folder);
    bool armed = false;
    q.messages.shown = [&](std::string_view text) {
      if (!armed && text.find(kRestoreQuestion) != std::string_view::npos) {
        armed = true;
        Arm(q, card, pending);
      }
    };
    const Bytes found = q.Pc().Card(card).Flash().AllBytes();
    if (done && found != ended) {
      out.problems.push_back("the finished write did not last");
    }
    if (first && found != before && !EqualBackupExists(q.Pc(), before)) {
      out.problems.push_back("changed without an equal backup on disk");
    }
    const std::size_t from = q.Pc().Card(card).Diagnostics().commands.size();
    const std::string interrupted = RunInterruptible(q, [&] { q.Start(); });
    Disarm(q, card);
    Bytes goal = done ? ended : before;
    if (!done && action == Action::Restore && !s.restoreTwin) {
      goal = FileFlash(q.Pc(), restore_file).value_or(before);
    }
    if (!interrupted.empty()) {
      CheckErases(q, card, from, Action::Restore, out);
      CheckMachine(q, out);
      if (run == 3) {
        out.problems.push_back("no start-up without faults got through");
        break;
      }
      out.verdict += ", start-up restore " + interrupted;
      pending = {};
      continue;
    }
    q.messages.shown = nullptr;
    if (moved_from) {
      // The user remembers the old slot, whose card now is another one: he
      // restores it from its restore point, then from each backup named.
      Select(q, *moved_from);
      q.form->RestorePointClick();
      for (const auto& file : NamedBackups(q.messages.Texts())) {
        Select(q, *moved_from);
        q.form->RestoreClick(file);
      }
    }
    // Asked, or reported with the backup that restores it.
    const bool asked = Says(q.messages.Texts(), kRestoreQuestion);
    const bool told_open =
        asked || Says(q.messages.Texts(), "wurde begonnen, aber nicht abgeschlossen");
    // A card that was being restored from a file goes back by that file: the
    // backup of its damaged state restores nothing. A record that is back with
    // flash beyond it that no restore could bring back was told so before.
    if (!done && action != Action::Restore && !RecordEqual(found, before) && !told_open) {
      out.problems.push_back("changed card neither offered for restore nor reported at start-up");
    }
    const std::string this_card = "der Karte " + std::to_string(card) + " ";
    for (const auto& text : q.messages.Texts()) {
      if (done && text.find(kRestoreQuestion) != std::string::npos &&
          text.find(this_card) != std::string::npos) {
        out.problems.push_back("a finished write offered for restore: " + text);
      }
    }
    Select(q, card);
    if (q.Pc().Card(card).Flash().AllBytes() != goal || q.form->SelectedHasOpenWrite()) {
      if (RoadBack(q, card, action, restore_file, goal)) {
        out.verdict += ", back";
      } else {
        out.problems.push_back("card lost: the user's road did not bring it back");
      }
    }
    // What no restore brings back beyond the record (the 4 KiB before it, or
    // flash the card's DSP program does not take) was told, where it is.
    // Told by the program whose write was the last: a restore of this one, else
    // the action's own program.
    const Bytes& now = q.Pc().Card(card).Flash().AllBytes();
    const auto& seen = q.Pc().Card(card).Diagnostics().commands;
    const bool restored_here =
        std::any_of(seen.begin() + static_cast<std::ptrdiff_t>(from), seen.end(),
                    [](const auto& c) { return c.kind == CommandKind::kErase; });
    if (RecordEqual(now, goal) && now != goal) {
      out.verdict += ", beyond the record told";
      if (!ToldBeyondRecord(restored_here ? q.messages.Texts() : told, now, goal,
                            RoadWords(goal))) {
        out.problems.push_back("flash beyond the record differs from the backup, untold");
      }
    }
    for (std::size_t c = 0; c < q.Pc().CardCount(); ++c) {
      if (c != card && q.Pc().Card(c).Flash().AllBytes() != others[c]) {
        out.problems.push_back("card " + std::to_string(c) + " changed");
      }
    }
    CheckErases(q, card, from, Action::Restore, out);
    CheckMachine(q, out);
    CheckOwnership(q.Pc(), serials, out);
    // No card is locked out: once recovered, a card a write reached, with a
    // record, is converted again. (One the scenario damaged without a backup
    // has none.)
    erased_any = erased_any || restored_here;
    if (!done && erased_any && SerialOf(q.Pc().Card(card).Flash().AllBytes())) {
      Select(q, card);
      const ActionResult again =
          HoldsRevision12(q.Pc(), card) ? q.form->Button2Click() : q.form->Button3Click();
      if (again != ActionResult::Done) {
        out.problems.push_back("card locked out: its conversion after the recovery did not run");
      }
      CheckMachine(q, out);
    }
    break;
  }
  return out;
}

}  // namespace fu::campaign
