#include "campaign/campaign_scenarios.h"

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

namespace fu::campaign {
namespace {

using sim::CommandKind;
using sim::FaultAction;
using Kind = Interrupt::Kind;

// The reads of each action, in order, before the window's refresh reads the
// record: upgrade and downgrade read the record twice, back up (two reads),
// verify and read the whole area twice; a dump backs up; a restore reads the
// damaged record (twice as 1.2 when whole, then as 1.3) and, as it cannot be
// read, the area twice to compare it with the file, backs up, verifies, reads
// the area twice, and twice more after programming back what the erase
// cleared beyond the record.
std::vector<std::string> ReadNames(Action action) {
  switch (action) {
    case Action::Upgrade:
    case Action::Downgrade:
      return {"record read", "record read again", "backup read",    "backup read again",
              "verify read", "area read",         "area read again"};
    case Action::Dump:
      return {"backup read", "backup read again"};
    case Action::Restore:
      return {"record read",       "record read again", "record read 1.3",
              "owner area read",   "owner area again",  "backup read",
              "backup read again", "verify read",       "area read",
              "area read again",   "area read after",   "area read after again"};
  }
  return {};
}

// The step name of each flash command of the action: "record read", "erase",
// "block 2", ...
std::vector<std::string> StepNames(Action action, const std::vector<CommandKind>& commands) {
  const auto reads = ReadNames(action);
  std::vector<std::string> names;
  std::size_t read = 0, block = 0;
  for (const CommandKind kind : commands) {
    switch (kind) {
      case CommandKind::kRead:
        names.push_back(read < reads.size() ? reads[read] : "refresh read");
        ++read;
        break;
      case CommandKind::kProgram:
        names.push_back("block " + std::to_string(++block));
        break;
      case CommandKind::kErase:
        names.push_back("erase");
        break;
      case CommandKind::kUnknown:
        names.push_back("unknown command");
        break;
    }
  }
  return names;
}

Scenario CardFault(std::string fault, std::string step, CommandKind kind, std::uint32_t nth,
                   FaultAction action, std::uint32_t amount = 0) {
  return {std::move(fault), std::move(step), [=](Program& p, std::size_t card) {
            p.Pc().Card(card).Faults().commands.push_back({kind, nth, action, amount});
          }};
}

Scenario Interrupted(Interrupt interrupt, std::string step) {
  Scenario s{interrupt.Name(), std::move(step)};
  s.interrupt = interrupt;
  return s;
}

// Word counts of a read fault: the edges of the record lengths and of the area,
// and every stride-th count across 94..1734, where an upgrade would convert a
// partly read record (stride 0: the edges only).
std::set<std::uint32_t> WordCounts(std::uint32_t stride) {
  std::set<std::uint32_t> counts = {0, 1, 93, 1734, 1735, 1736, 6944, 6945, 7173, 40000, 65535};
  for (std::uint32_t k = 94; stride > 0 && k <= 1734; k += stride) {
    counts.insert(k);
  }
  return counts;
}

// Word counts of a read fault in a read of the whole area that only compares:
// before, at and after the record, and near the end.
const std::set<std::uint32_t> kAreaWordCounts = {0, 1, 0x1000, 0x1000 + 7174, 40000, 65535};

// A read that stops waits out the program's poll limit, so stops are sampled
// more thinly than wrong data; the window's refresh reads get wrong data only.
void AddReadFaults(Action action, std::size_t reads, std::vector<Scenario>& list) {
  const auto names = ReadNames(action);
  for (std::uint32_t r = 1; r <= reads; ++r) {
    const bool refresh = r > names.size();
    const std::string step = refresh ? "refresh read" : names[r - 1];
    const bool record = step.starts_with("record read");
    const bool converted = action != Action::Restore && r == 1;
    // The area read after a verified write, or to compare an unreadable card.
    const bool compares = step.starts_with("area read") || step.starts_with("owner area");
    if (compares) {
      for (const std::uint32_t k : kAreaWordCounts) {
        list.push_back(CardFault("read stops after " + std::to_string(k) + " words", step,
                                 CommandKind::kRead, r, FaultAction::kStop, k));
        list.push_back(CardFault("wrong data from word " + std::to_string(k), step,
                                 CommandKind::kRead, r, FaultAction::kLie, k));
      }
      continue;
    }
    if (!refresh) {
      const std::uint32_t stride = converted && action == Action::Upgrade ? 16 : record ? 128 : 0;
      for (const std::uint32_t k : WordCounts(stride)) {
        list.push_back(CardFault("read stops after " + std::to_string(k) + " words", step,
                                 CommandKind::kRead, r, FaultAction::kStop, k));
      }
    }
    const std::uint32_t stride = !converted ? 0 : action == Action::Upgrade ? 4 : 32;
    for (const std::uint32_t k : WordCounts(stride)) {
      list.push_back(CardFault("wrong data from word " + std::to_string(k), step,
                               CommandKind::kRead, r, FaultAction::kLie, k));
    }
  }
}

void AddWriteFaults(const std::vector<CommandKind>& commands, std::vector<Scenario>& list) {
  const auto blocks = static_cast<std::uint32_t>(
      std::count(commands.begin(), commands.end(), CommandKind::kProgram));
  list.push_back(CardFault("erase answers 1", "erase", CommandKind::kErase, 1, FaultAction::kFail));
  list.push_back(CardFault("erase lies (answers 0, erases nothing)", "erase", CommandKind::kErase,
                           1, FaultAction::kLie));
  for (std::uint32_t b = 1; b <= blocks; ++b) {
    const std::string step = "block " + std::to_string(b);
    list.push_back(
        CardFault("block answers 1", step, CommandKind::kProgram, b, FaultAction::kFail));
    list.push_back(CardFault("block answers 0, writes nothing", step, CommandKind::kProgram, b,
                             FaultAction::kLie, 0));
    list.push_back(CardFault("block answers 0, writes part", step, CommandKind::kProgram, b,
                             FaultAction::kLie, 700));
    list.push_back(
        CardFault("block stops half-way", step, CommandKind::kProgram, b, FaultAction::kStop, 500));
    // Double fault: the user says No to the restore, and the restore from the
    // restore point fails in turn; the first restore point must still hold.
    Scenario twice = CardFault("block answers 1, then the restore fails", step,
                               CommandKind::kProgram, b, FaultAction::kFail);
    twice.secondFailedWrite = true;
    list.push_back(twice);
  }
  // Double faults: the program dies after the erase, and the next start-up's
  // restore is stopped at each of its flash commands (two backup reads, the
  // erase, its blocks, the verify, two reads of the whole area, the block that
  // programs back what the erase cleared beyond the record and two reads more)
  // and drive changes.
  const auto after_erase = static_cast<std::uint32_t>(
      std::find(commands.begin(), commands.end(), CommandKind::kProgram) - commands.begin() + 1);
  for (std::uint32_t n = 1; n <= 13; ++n) {
    for (const Kind kind : {Kind::kCrash, Kind::kCardPowerCut}) {
      Scenario s = Interrupted({Kind::kCrash, after_erase}, "after the erase");
      s.recoveryInterrupt = {kind, n};
      s.fault += std::string(", then ") + s.recoveryInterrupt.Name() +
                 " in start-up restore command " + std::to_string(n);
      list.push_back(s);
    }
  }
  for (std::uint32_t n = 1; n <= 12; ++n) {
    Scenario s = Interrupted({Kind::kCrash, after_erase}, "after the erase");
    s.recoveryInterrupt = {Kind::kDrivePowerCut, n};
    s.fault += ", then drive C: loses power in start-up restore change " + std::to_string(n);
    list.push_back(s);
  }
}

// Drive C: reads back altered bytes: at offsets only a backup file reaches, in
// every file read or in the nth one.
void AddAlteredReads(std::vector<Scenario>& list) {
  for (const std::uint64_t offset : {4u, 0x14003u, 262151u}) {
    Scenario s{"drive C: reads byte " + std::to_string(offset) + " of every file altered",
               "backup"};
    s.alteredRead = sim::SimDrive::AlteredRead{0, offset};
    list.push_back(s);
  }
  for (std::uint32_t n = 1; n <= 3; ++n) {
    Scenario s{"drive C: reads file " + std::to_string(n) + " altered", "backup"};
    s.alteredRead = sim::SimDrive::AlteredRead{n, 0x14003};
    list.push_back(s);
  }
}

// Users who are not perfect, each after faults that leave the card changed: the
// program dies after the erase or as the verify read begins, or a block fails.
void AddUsers(const std::vector<CommandKind>& commands, std::vector<Scenario>& list) {
  const auto first_block = static_cast<std::uint32_t>(
      std::find(commands.begin(), commands.end(), CommandKind::kProgram) - commands.begin() + 1);
  const auto verify = static_cast<std::uint32_t>(
      std::find(commands.rbegin(), commands.rend(), CommandKind::kProgram) - commands.rbegin());
  const auto verify_at = static_cast<std::uint32_t>(commands.size()) - verify + 1;
  for (const User user : {User::kSaysNo, User::kMover, User::kLosesBackup, User::kAltersBackup}) {
    const std::string who = std::string("; ") + Name(user);
    Scenario s = Interrupted({Kind::kCrash, first_block}, "after the erase");
    s.fault += who;
    s.user = user;
    list.push_back(s);
    s = Interrupted({Kind::kCrash, verify_at}, "at verify read");
    s.fault += who;
    s.user = user;
    list.push_back(s);
    s = CardFault("block answers 1" + who, "block 2", CommandKind::kProgram, 2, FaultAction::kFail);
    s.user = user;
    list.push_back(s);
  }
  // The mover puts the card where its twin was: the twin is restored from
  // nothing of the card's, its serial number differing in one digit.
  Scenario twin = Interrupted({Kind::kCrash, first_block}, "after the erase");
  twin.fault += "; user swaps the card with its twin";
  twin.user = User::kMover;
  twin.moveTo = 2;
  list.push_back(twin);
  for (std::uint32_t n = 1; n <= commands.size(); ++n) {
    Scenario s{Name(User::kInterrupter), "at command " + std::to_string(n)};
    s.user = User::kInterrupter;
    s.endAt = n;
    list.push_back(s);
  }
}

// Answers that come after the program has given up waiting: in the middle of
// the verify read, and the status of the erase and of the last block.
void AddLateAnswers(const std::vector<CommandKind>& commands, std::vector<Scenario>& list) {
  const auto count = [&](CommandKind kind) {
    return static_cast<std::uint32_t>(std::count(commands.begin(), commands.end(), kind));
  };
  const std::vector<CommandKind> before_verify(
      commands.begin(),
      std::find(commands.rbegin(), commands.rend(), CommandKind::kProgram).base());
  const auto verify = static_cast<std::uint32_t>(
      std::count(before_verify.begin(), before_verify.end(), CommandKind::kRead) + 1);
  list.push_back(CardFault("late: read answered late from word 100", "verify read",
                           CommandKind::kRead, verify, FaultAction::kLate, 100));
  list.push_back(
      CardFault("late: erase status", "erase", CommandKind::kErase, 1, FaultAction::kLate));
  list.push_back(
      CardFault("late: block status", "block " + std::to_string(count(CommandKind::kProgram)),
                CommandKind::kProgram, count(CommandKind::kProgram), FaultAction::kLate));
}

}  // namespace

std::vector<std::pair<std::string_view, std::string_view>> CardKindRows(std::string_view kind) {
  using Row = std::pair<std::string_view, std::string_view>;
  // Every kind: the action without a fault, a failed block and a program that
  // dies in one, each to be recovered on that card.
  std::vector<Row> rows = {
      {"none", "whole action"}, {"block answers 1", "block 1"}, {"program dies", "at block 1"}};
  const auto named = [kind](std::string_view part) { return kind.find(part) != kind.npos; };
  if (named("erase")) {
    // An erase that clears more: restores that cannot bring everything back,
    // by users who say No, move the card or see the restore fail in turn.
    rows.insert(rows.end(), {{"block answers 1, then the restore fails", "block 1"},
                             {"program dies; user says No, tries others", "after the erase"},
                             {"program dies; user moves the card", "after the erase"},
                             {"program dies, then card loses power in start-up restore command 4",
                              "after the erase"},
                             {"erase clears the whole chip", "erase"}});
  }
  if (named("busy")) {  // the flag set after a power cut, and one another program holds
    rows.insert(rows.end(), {{"card loses power", "in block 1"},
                             {"card loses power", "in erase"},
                             {"busy flag held by another program", "start-up"}});
  }
  if (named("unread")) {  // a card that answers less than asked, or late
    rows.insert(rows.end(), {{"block answers 0, writes part", "block 1"}});
  }
  if (named("factory")) {  // cards alike outside their record: whose backup is whose
    rows.insert(rows.end(), {{"program dies; user says No, tries others", "after the erase"},
                             {"program dies; user moves the card", "after the erase"}});
  }
  return rows;
}

bool RunsOnCardKind(const Scenario& s, std::string_view kind) {
  if (s.fault.starts_with("late: ")) {
    return kind.find("unread") != std::string_view::npos;
  }
  const auto rows = CardKindRows(kind);
  return std::any_of(rows.begin(), rows.end(),
                     [&](const auto& row) { return s.fault == row.first && s.step == row.second; });
}

Scenario NoFault() {
  Scenario s{"none", "whole action"};
  s.mustSucceed = true;
  return s;
}

std::vector<Scenario> Scenarios(Action action, const Outcome& shape) {
  std::vector<Scenario> list;
  list.push_back({"card takes no words", "whole action", [](Program& p, std::size_t card) {
                    p.Pc().Card(card).Faults().takesNoWords = true;
                  }});
  const auto steps = StepNames(action, shape.commands);
  const auto count = [&](CommandKind kind) {
    return static_cast<std::size_t>(std::count(shape.commands.begin(), shape.commands.end(), kind));
  };
  AddReadFaults(action, count(CommandKind::kRead), list);
  if (action != Action::Dump) {
    AddWriteFaults(shape.commands, list);
    AddUsers(shape.commands, list);
    AddLateAnswers(shape.commands, list);
    for (const std::uint32_t spill : {0xD00000u, 0u}) {
      Scenario s = CardFault(
          spill != 0 ? "erase clears the first sector too" : "erase clears the whole chip", "erase",
          CommandKind::kErase, 1, FaultAction::kSpill, spill);
      s.spills = true;
      list.push_back(s);
    }
  }
  if (action != Action::Restore) {
    AddAlteredReads(list);
  } else {
    Scenario twin{"the file is a backup of the card's twin", "owner area read"};
    twin.restoreTwin = true;
    list.push_back(twin);
  }
  // At every flash command: the program dies as it begins, or the card loses
  // power half-way through it.
  for (std::uint32_t n = 1; n <= steps.size(); ++n) {
    list.push_back(Interrupted({Kind::kCrash, n}, "at " + steps[n - 1]));
    list.push_back(Interrupted({Kind::kCardPowerCut, n}, "in " + steps[n - 1]));
  }
  for (std::uint32_t n = 1; n <= shape.driveChanges; ++n) {
    list.push_back(Interrupted({Kind::kDrivePowerCut, n}, "drive change " + std::to_string(n)));
  }
  const auto pc = [](std::string fault, std::string step,
                     std::function<void(sim::SimPc&, std::size_t)> set) {
    return Scenario{std::move(fault), std::move(step),
                    [set](Program& p, std::size_t card) { set(p.Pc(), card); }};
  };
  list.push_back(
      pc("map refused", "open", [](sim::SimPc& p, std::size_t) { p.SetRefuseMap(true); }));
  list.push_back(
      pc("unmap refused", "close", [](sim::SimPc& p, std::size_t) { p.SetRefuseUnmap(true); }));
  Scenario held = pc("busy flag held by another program", "action",
                     [](sim::SimPc& p, std::size_t card) { p.SetBusyHeldByOther(card, true); });
  held.heldByOther = true;
  list.push_back(held);
  list.push_back(pc("map refused, stop fails", "open", [](sim::SimPc& p, std::size_t) {
    p.SetRefuseMap(true);
    p.SetFailingStop(true);
  }));
  list.push_back(pc("date just before midnight", "backup", [](sim::SimPc& p, std::size_t) {
    p.SetJustBeforeMidnight(std::chrono::milliseconds(5));
  }));
  list.push_back(pc("short date with slashes", "backup",
                    [](sim::SimPc& p, std::size_t) { p.SetShortDateFormat("M/d/yyyy"); }));
  list.push_back(pc("drive C: unwritable", "backup",
                    [](sim::SimPc& p, std::size_t) { p.SetDriveReadOnly(true); }));
  list.push_back(pc("drive C: full", "backup",
                    [](sim::SimPc& p, std::size_t) { p.SetDriveFreeSpace(200000); }));
  list.push_back(pc("drive C: full after the backup", "journal",
                    [](sim::SimPc& p, std::size_t) { p.SetDriveFreeSpace(262152 + 40); }));
  Scenario start{"driver file missing", "start-up"};
  start.beforeStart = [](sim::SimPc& p) { p.SetDriverFilesPresent(false); };
  list.push_back(start);
  start = {"service manager refused", "start-up"};
  start.beforeStart = [](sim::SimPc& p) { p.SetRefuseServiceManager(true); };
  list.push_back(start);
  start = {"busy flag held by another program", "start-up"};
  start.beforeStart = [action](sim::SimPc& p) {
    p.SetBusyHeldByOther(action == Action::Downgrade ? 1 : 0, true);
  };
  start.heldByOther = true;
  list.push_back(start);
  start = {"journal damaged, last entry torn", "start-up"};
  start.beforeStart = [](sim::SimPc& p) {
    const std::string text = "FlashUpdate-Journal 2\r\nbegonnen\tkaputt\r\nfert";
    p.Drive().Install("C:\\FLASH.JNL", std::vector<std::uint8_t>(text.begin(), text.end()));
  };
  start.startupMustSay = "C:\\FLASH.JNL ist besch";
  list.push_back(start);
  return list;
}

Scenario RandomScenario(std::mt19937& random, Action action) {
  const auto pick = [&random](std::uint32_t n) {
    return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(random);
  };
  Scenario s{"", Name(action)};
  std::vector<sim::CommandFault> faults;
  const auto describe = [&s](const std::string& part) {
    s.fault += (s.fault.empty() ? "" : ", ") + part;
  };
  static const char* const kKinds[] = {"read", "program", "erase"};
  static const char* const kActions[] = {"fails", "lies", "stops", "cuts power"};
  for (std::uint32_t n = pick(3); n > 0; --n) {
    const auto kind = static_cast<CommandKind>(pick(3));
    const auto fault = static_cast<FaultAction>(pick(4));
    const std::uint32_t nth = 1 + pick(6);
    const std::uint32_t amount = pick(2) == 0 ? pick(1800) : pick(9000);
    faults.push_back({kind, nth, fault, amount});
    describe(std::string(kKinds[static_cast<int>(kind)]) + " " + std::to_string(nth) + " " +
             kActions[static_cast<int>(fault)] + " at " + std::to_string(amount));
  }
  s.interrupt = {static_cast<Kind>(pick(4)), 1 + pick(12)};
  if (pick(4) == 0) {
    s.recoveryInterrupt = {static_cast<Kind>(pick(4)), 1 + pick(12)};
  }
  switch (pick(8)) {
    case 0:
      s.user = User::kSaysNo;
      break;
    case 1:
      s.user = User::kMover;
      break;
    case 2:
      if (action != Action::Dump) {
        s.user = User::kInterrupter;
        s.endAt = 1 + pick(12);
        s.interrupt = {};
      }
      break;
    default:
      break;
  }
  for (const Interrupt* i : {&s.interrupt, &s.recoveryInterrupt}) {
    if (i->kind != Kind::kNone) {
      describe(std::string(i->Name()) + " at " + std::to_string(i->nth) +
               (i == &s.recoveryInterrupt ? " of the recovery" : ""));
    }
  }
  const bool midnight = pick(8) == 0;
  if (midnight) {
    describe("date just before midnight");
  }
  if (pick(10) == 0) {
    s.alteredRead = sim::SimDrive::AlteredRead{pick(3), pick(2) == 0 ? 0x14003u : 262151u};
    describe("drive C: alters file " + std::to_string(s.alteredRead->nthOpen));
  }
  if (action != Action::Dump && pick(16) == 0) {
    faults.push_back({CommandKind::kErase, 1, FaultAction::kSpill, pick(2) == 0 ? 0u : 0xD00000u});
    s.spills = true;
    describe("erase clears more than its sector");
  }
  if (s.user != User::kCareful) {
    describe(Name(s.user));
  }
  s.inject = [faults, midnight](Program& p, std::size_t card) {
    p.Pc().Card(card).Faults().commands = faults;
    if (midnight) {
      p.Pc().SetJustBeforeMidnight(std::chrono::milliseconds(5));
    }
  };
  if (s.fault.empty()) {
    s.fault = "none";
  }
  return s;
}

}  // namespace fu::campaign
