#pragma once
// The whole simulated PC, kept in one folder:
//
//   pc.json          what the PC is: platform, program path, short date format,
//                    date and time, drive C: faults, driver faults, the other
//                    PCI devices, the cards (place, window, timing, faults,
//                    settings) and the service registry
//   C/               drive C:
//   cards/cardN.flash  card N's 64 KiB flash, byte k at 0xD00000 + k
//   cards/cardN.json   card N's HCTR
//   pc.lock          the lock file
//   machine-faults.log  the machine faults, one Describe line each
//
// A folder that is missing or empty (or holds only the remains of a creation
// that did not finish) gets the default PC: Windows NT, the program in
// C:\Programme\FlashUpdate\ beside the DSP program file and the driver files,
// the short date format dd.MM.yyyy, a host bridge and a graphics device on bus
// 0, a card with a revision-1.2 record (and a calibration table of its own
// after it) on bus 0 and one with a revision-1.3 record on bus 1. A folder
// that holds other things and no pc.json is refused.
//
// Every file is replaced atomically (a temporary file renamed over it): the
// cards after every program or erase command and every HCTR change, pc.json
// after every change of a service or a setting. Drive C: writes go straight
// to C/. A failed save during a run is counted, not raised, so the system code
// on top never sees it.
//
// Each card's settings (SimCardSettings) are kept in its object in pc.json:
//   "eraseClears": "0xD01000-0xD02FFF"   the bytes every erase clears, first and
//                  last; inside the flash, and covering the record's bytes
//                  0xD01000..0xD02C05
//   "busyAtPowerUp": false               HCTR comes up as 0x4000, not 0
//   "keepsUnreadWords": false            host commands keep the receive FIFO
//   "factoryData": true                  false: the block at 0xD00F00 reads 0xFF
// A missing key means the default (the values above), so a pc.json of an
// older version loads as before; it is written back with every key. A card
// without factory data loses it from its flash when it is loaded or set.
//
// The folder is locked while a SimPc uses it; the lock dies with the program.
//
// Machine faults: a register access outside every mapped window (or through a
// window after its unmap) and, on the NT family, a port instruction outside the
// enabled ranges would end the program on a real PC. The PC records each one,
// then goes on as the bus and the ports describe (a read gives 0xFFFFFFFF, a
// write is dropped). The record is kept twice: in memory for this SimPc's run
// (MachineFaults), and appended to machine-faults.log at once, so that a test
// that runs a program on the folder in a process of its own reads them
// afterwards (RecordedMachineFaults), even when that program crashed. A new
// SimPc keeps the log: it holds the faults of every run on the folder until it
// is cleared.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "sim/host_os.h"
#include "sim/machine_fault.h"
#include "sim/sim_card.h"
#include "sim/sim_drive.h"
#include "sim/sim_port_io.h"
#include "sim/sim_register_bus.h"
#include "sim/sim_system.h"
#include "sim/sim_time.h"
#include "sim/system_clock.h"
#include "sim/virtual_clock.h"

namespace fu::sim {

// A folder that cannot serve as a simulated PC. The text is German, in code
// page 1252.
class SimPcError : public std::runtime_error {
 public:
  explicit SimPcError(const std::string& text) : std::runtime_error(text) {}
};

enum class ClockKind {
  kVirtual,  // tests: sleeps return at once, the date and time come from pc.json
  kSystem,   // real runs: sleeps wait, the date is the host's (pc.json's is kept, not used)
};

// The PC's clock with its short date format; the format can change while the
// code on top holds the clock. Its time is also the cards' time.
class PcClock : public fu::Clock, public SimTime {
 public:
  PcClock(ClockKind kind, const LocalDateTime& now, std::string_view picture);

  void Sleep(std::chrono::milliseconds duration) override;
  std::string ShortDate() override;
  std::string DateAndTime() override;
  std::chrono::milliseconds Uptime() const override;

  void SetPicture(std::string_view picture);
  const std::string& Picture() const { return picture_; }
  VirtualClock* Virtual() { return virtual_ ? &*virtual_ : nullptr; }

 private:
  std::string picture_;
  std::optional<VirtualClock> virtual_;
  std::optional<SystemClock> system_;
};

// Where a card sits: its PCI place and the physical address of its window.
struct CardPlace {
  std::uint8_t bus = 0;
  std::uint8_t device = 0;
  std::uint32_t window = 0;
};

class SimPc {
 public:
  static constexpr std::string_view kDefaultProgramPath =
      "C:\\Programme\\FlashUpdate\\FlashUpdate.exe";

  // Loads the PC kept in folder, or creates the default PC there. Throws
  // SimPcError when another program uses the folder or it holds no valid PC.
  explicit SimPc(const std::filesystem::path& folder, ClockKind clock = ClockKind::kVirtual);
  ~SimPc();
  SimPc(const SimPc&) = delete;
  SimPc& operator=(const SimPc&) = delete;

  const std::filesystem::path& Folder() const { return folder_; }

  // The ports.
  SimDrive& Drive() { return *drive_; }
  fu::Clock& Clock() { return *clock_; }
  SimSystem& System() { return *system_; }
  SimPortIo& Ports() { return *ports_; }
  SimRegisterBus& Bus() { return bus_; }

  // The virtual clock, or nullptr when the PC runs on the host's clock.
  VirtualClock* Virtual() { return clock_->Virtual(); }

  std::size_t CardCount() const { return cards_.size(); }
  SimCard& Card(std::size_t index) { return cards_.at(index)->card; }
  const CardPlace& Place(std::size_t index) const { return cards_.at(index)->place; }

  // The folder of the program, ending in a backslash.
  std::string ProgramDirectory() const;

  // Settings and faults on demand; each is saved at once.
  void SetPlatform(Platform platform);
  // Also puts the DSP program file and the driver files into the new folder.
  void SetProgramPath(std::string_view path);
  void SetRefuseServiceManager(bool refuse);
  void SetRefusePorts(bool refuse);
  void SetRefuseMap(bool refuse);
  void SetRefuseUnmap(bool refuse);
  void SetFailingStop(bool fail);
  // Removes or puts back HWACCESS.SYS and HWAccess.VxD in the program directory.
  void SetDriverFilesPresent(bool present);
  void SetDspProgramPresent(bool present);
  void SetDriveReadOnly(bool read_only);
  void SetDriveFreeSpace(std::optional<std::uint64_t> bytes);
  // A picture as the regional settings write it, for example "M/d/yyyy";
  // std::invalid_argument for one the clocks do not support.
  void SetShortDateFormat(std::string_view picture);
  // The virtual clock's date and time (kept in pc.json; the host's clock ignores it).
  void SetNow(const LocalDateTime& now);
  // The virtual clock at `before` ahead of the coming midnight.
  void SetJustBeforeMidnight(std::chrono::milliseconds before = std::chrono::seconds(1));
  // HCTR's busy flag, as another program holding the card leaves it.
  void SetBusyHeldByOther(std::size_t card, bool held);
  // The choices the card's maker made. Turning busyAtPowerUp on sets HCTR's
  // busy flag at once, as on a card just switched on; turning factoryData off
  // removes the factory data from the flash (turning it on brings none back).
  // std::invalid_argument, with a German text, for an erase range that is not
  // inside the flash or leaves a byte of the record standing.
  const SimCardSettings& CardSettings(std::size_t card) const;
  void SetCardSettings(std::size_t card, const SimCardSettings& settings);
  // Plugs in a further card at place, with the flash, control flags and
  // settings of the card at template_index (a PC with up to four or more cards).
  void AddCardLike(std::size_t template_index, const CardPlace& place);
  // Two cards change places on the PCI bus, as a user moves them between slots
  // with the PC switched off: their flash, flags, timing, faults and settings
  // are exchanged, the places and windows stay. The program on top must start anew.
  void SwapCards(std::size_t a, std::size_t b);

  // Saves the description and every card, for changes made directly on a
  // card's timing or faults.
  void Save();

  // The whole PC loses power: drive C: goes back to what was durable on it;
  // services stop as a restart finds them (those deleted while running are
  // gone); each card keeps its flash, its host interface comes up at its reset
  // value (HCTR 0, or 0x4000 on a card that is busy at power-up); all of it is
  // saved. The caller then ends the program and this PC and starts a new one
  // on the folder, whose DSPs wait for a boot.
  void LosePower();
  std::uint64_t SaveFailures() const { return saveFailures_; }

  // The machine faults of this SimPc's run, in order.
  const std::vector<MachineFault>& MachineFaults() const { return machineFaults_; }
  // Forgets the faults made so far, here and in the folder's log: for the tests
  // that make them on purpose.
  void ClearMachineFaults();
  // The Describe lines in the log of the PC kept in folder: the faults of every
  // run there since the log was cleared; none when there is no log.
  static std::vector<std::string> RecordedMachineFaults(const std::filesystem::path& folder);

 private:
  struct PcCard {
    PcCard(const CardPlace& at, const SimTime& time) : place(at), card(time) {}

    CardPlace place;
    SimCard card;
    std::vector<std::uint8_t> savedFlash;
    std::optional<std::uint32_t> savedControl;
  };

  bool HoldsOnlyUnfinishedCreation() const;
  void CreateDefault();
  void Load();
  void AddCard(const CardPlace& place);
  void PutSettings(std::size_t index, const SimCardSettings& settings);
  void InstallProgramFiles(bool dsp, bool driver);
  void RemoveProgramFile(std::string_view name);
  void SaveDescription();
  void SaveCard(std::size_t index);
  // Writes that may fail during a run: counted instead of raised.
  void SaveDescriptionQuietly();
  void RecordMachineFault(const MachineFault& fault);
  std::filesystem::path CardFile(std::size_t index, std::string_view extension) const;

  std::filesystem::path folder_;
  std::unique_ptr<FolderLock> lock_;
  std::unique_ptr<SimDrive> drive_;
  SimRegisterBus bus_;
  std::unique_ptr<SimSystem> system_;
  std::unique_ptr<SimPortIo> ports_;
  std::unique_ptr<PcClock> clock_;  // before the cards, which keep its time
  std::vector<std::unique_ptr<PcCard>> cards_;
  ClockKind clockKind_;
  LocalDateTime storedNow_;
  std::uint64_t saveFailures_ = 0;
  std::vector<MachineFault> machineFaults_;
};

}  // namespace fu::sim
