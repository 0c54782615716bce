#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/power_cut.h"
#include "sim/sim_boot_stream.h"
#include "sim/sim_card.h"
#include "sim/sim_register_bus.h"
#include "sim/virtual_clock.h"

namespace fu::sim {
namespace {

constexpr LinearAddress kBase = 0x80000000;
constexpr std::uint32_t kPollLimit = 100000;

// The boot stream of the shipped DSP program file: N + 2 lines, blanks read as 0.
std::vector<HostWord> ShippedStream() {
  std::ifstream file(FU_SOURCE_DIR "/src/sim/dsp/QX4FLASH_PCI.PCI", std::ios::binary);
  std::vector<HostWord> words;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    std::replace(line.begin(), line.end(), ' ', '0');
    words.push_back(line.empty() ? 0 : static_cast<HostWord>(std::stoul(line, nullptr, 16)));
  }
  if (!words.empty() && words.size() >= words[0] + 2) {
    words.resize(words[0] + 2);
  }
  return words;
}

// A host driving the card through the bus the way the system's link layer does:
// poll HSTR before every word, one word per poll, and wait as the boot needs.
class Host {
 public:
  Host(SimCard& card, VirtualClock& clock) : clock_(clock) {
    bus.MapWindow(kBase, card);
    bus.SetMachineFaultHandler(
        [](const MachineFault& fault) { ADD_FAILURE() << "machine fault: " << Describe(fault); });
    SetFormats(2, 2);
  }

  std::uint32_t Read(std::uint32_t offset) { return bus.Read32(kBase + offset); }
  void Write(std::uint32_t offset, std::uint32_t value) { bus.Write32(kBase + offset, value); }

  void SetFormats(std::uint32_t transmit, std::uint32_t receive) {
    const std::uint32_t control = Read(kHctrOffset) & ~std::uint32_t{0x1B00};
    Write(kHctrOffset, control | (transmit << 8) | (receive << 11));
  }
  // The number of HSTR reads until the bit showed, none if it never did.
  std::optional<std::uint32_t> Poll(std::uint32_t bit) {
    for (std::uint32_t reads = 1; reads <= kPollLimit; ++reads) {
      if (Read(kHstrOffset) & bit) {
        return reads;
      }
    }
    return std::nullopt;
  }
  bool Send(HostWord word) {
    if (!Poll(kHstrTransmitRequest)) {
      return false;
    }
    Write(kDataOffset, word);
    return true;
  }
  bool SendAll(std::span<const HostWord> words) {
    return std::all_of(words.begin(), words.end(), [this](HostWord w) { return Send(w); });
  }
  std::optional<HostWord> Receive() {
    if (!Poll(kHstrReceiveRequest)) {
      return std::nullopt;
    }
    return Read(kDataOffset);
  }
  void Command(std::uint8_t vector) { Write(kHcvrOffset, ((vector & 0x7Fu) << 1) | 1u); }
  // The boot command, the reset wait, the stream, the wait for the program to start.
  bool Boot(std::span<const HostWord> stream,
            std::chrono::milliseconds reset_wait = std::chrono::milliseconds(500),
            std::chrono::milliseconds start_wait = std::chrono::milliseconds(250)) {
    Write(kHcvrOffset, kBootHostCommand);
    clock_.Sleep(reset_wait);
    const bool sent = SendAll(stream);
    clock_.Sleep(start_wait);
    return sent;
  }

  // The answered words of a read, as many as came.
  std::vector<HostWord> ReadFlash(std::uint32_t address, std::uint32_t count) {
    Command(0x44);
    std::vector<HostWord> words;
    if (!Send(address) || !Send(count)) {
      return words;
    }
    while (words.size() < count) {
      const auto word = Receive();
      if (!word) {
        break;
      }
      words.push_back(*word);
    }
    return words;
  }
  std::optional<HostWord> Erase(std::uint32_t address) {
    Command(0x68);
    if (!Send(3) || !Send(address)) {
      return std::nullopt;
    }
    return Receive();
  }
  std::optional<HostWord> Program(std::uint32_t offset, std::span<const std::uint8_t> bytes) {
    Command(0x68);
    if (!Send(2) || !Send(offset) || !Send(static_cast<HostWord>(bytes.size()))) {
      return std::nullopt;
    }
    for (const std::uint8_t byte : bytes) {
      if (!Send(byte)) {
        return std::nullopt;
      }
    }
    return Receive();
  }

  SimRegisterBus bus;

 private:
  VirtualClock& clock_;
};

std::vector<HostWord> Words(std::span<const std::uint8_t> bytes) {
  return {bytes.begin(), bytes.end()};
}

std::vector<std::uint8_t> FlashBytes(const SimCard& card, std::uint32_t address,
                                     std::uint32_t count) {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t i = 0; i < count; ++i) {
    bytes.push_back(card.Flash().Read(address + i));
  }
  return bytes;
}

// Flash byte k is (k * 7 + 3) mod 256: no sector looks erased.
void FillPattern(SimCard& card) {
  auto& bytes = card.Flash().AllBytes();
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    bytes[k] = static_cast<std::uint8_t>(k * 7 + 3);
  }
}

TEST(SimCardBoot, ShippedProgramStartsTheFlashService) {
  const auto stream = ShippedStream();
  ASSERT_GE(stream.size(), 200u);
  VirtualClock clock;
  SimCard card(clock);
  Host host(card, clock);
  card.SetControl(card.Control() | kHctrBusy | kHctrBootDone);
  EXPECT_EQ(card.Mode(), DspMode::kHalted);

  ASSERT_TRUE(host.Boot(stream));
  host.Read(kHstrOffset);  // the last word goes in
  EXPECT_TRUE(card.ServiceRunning());
  EXPECT_EQ(card.Diagnostics().bootWordsTaken, stream.size());
  EXPECT_EQ(host.Read(kHstrOffset) & kHstrReceiveRequest, 0u);  // the loader answers nothing
  // The flags are the host's: a boot leaves them as they were.
  EXPECT_EQ(card.Control() & (kHctrBusy | kHctrBootDone), kHctrBusy | kHctrBootDone);

  // A program built by the helper boots as well, and booting again restarts the loader.
  const std::vector<HostWord> body = {0x123456, 0x000000, 0xABCDEF};
  ASSERT_TRUE(host.Boot(MakeBootStream(MakeFlashServiceProgram(body, 0x200), 0x200)));
  EXPECT_EQ(host.ReadFlash(0xD00000, 2).size(), 2u);
  EXPECT_EQ(card.Diagnostics().boots, 2u);
  EXPECT_EQ(card.Diagnostics().rejectedBoots, 0u);
}

// Words sent while the DSP is in reset are lost, and commands before the
// program has started go unanswered; once started late, the service answers.
TEST(SimCardBoot, ServiceNeedsTheResetWaitAndTheStartWait) {
  using std::chrono::milliseconds;
  struct Case {
    int reset_wait;
    int start_wait;
    bool answers;
  };
  const Case cases[] = {{500, 250, true}, {400, 200, true},  {399, 250, false},
                        {0, 250, false},  {500, 199, false}, {500, 0, false}};
  VirtualClock clock;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.reset_wait) + " ms, " + std::to_string(c.start_wait) + " ms");
    SimCard card(clock);
    Host host(card, clock);
    ASSERT_TRUE(host.Boot(ShippedStream(), milliseconds(c.reset_wait), milliseconds(c.start_wait)));
    EXPECT_EQ(host.ReadFlash(0xD00000, 1).size(), c.answers ? 1u : 0u);
    EXPECT_EQ(card.Diagnostics().ignoredHostCommands, c.answers ? 0u : 1u);
    const bool reset_waited = c.reset_wait >= 400;
    EXPECT_EQ(card.Diagnostics().wordsLostInReset > 0, !reset_waited);
    EXPECT_EQ(card.ServiceRunning(), reset_waited);
    clock.Sleep(milliseconds(200));
    EXPECT_EQ(host.ReadFlash(0xD00000, 1).size(), reset_waited ? 1u : 0u);
  }
}

TEST(SimCardBoot, DamagedStreamsLeaveTheServiceStopped) {
  VirtualClock clock;
  const auto good = ShippedStream();
  ASSERT_GE(good.size(), 10u);
  const std::size_t n = good.size() - 2;
  std::vector<std::vector<HostWord>> damaged;
  damaged.push_back(good);
  damaged.back()[good.size() / 2] ^= 0x10;  // one bit of a program word
  damaged.push_back(good);
  damaged.back()[1] += 1;  // the second word
  damaged.push_back(good);
  std::swap(damaged.back()[5], damaged.back()[6]);
  damaged.push_back(good);
  damaged.back().back() ^= 0x800000;  // the checksum word
  damaged.push_back(good);
  damaged.back().pop_back();  // the last line lost, N corrected
  damaged.back()[0] = static_cast<HostWord>(n - 1);
  // The signature wrong, though the checksum is made to fit.
  std::vector<HostWord> program(good.begin() + 2, good.end() - 1);
  program[0] ^= 1;
  program.push_back(ProgramChecksum(good[1], program));
  damaged.push_back(MakeBootStream(program, good[1]));

  for (std::size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE(i);
    SimCard card(clock);
    Host host(card, clock);
    EXPECT_TRUE(host.Boot(damaged[i]));  // every word is taken; the check fails afterwards
    EXPECT_TRUE(host.ReadFlash(0xD00000, 1).empty());
    EXPECT_EQ(card.Mode(), DspMode::kRejected);
    EXPECT_EQ(card.Diagnostics().rejectedBoots, 1u);
  }

  // A stream that ends early leaves the loader waiting for the rest; the words of a
  // later command then end the stream, which fails the check.
  SimCard waiting(clock);
  Host host(waiting, clock);
  ASSERT_TRUE(host.Boot(std::span(good).first(good.size() - 1)));
  host.Read(kHstrOffset);
  EXPECT_EQ(waiting.Mode(), DspMode::kLoading);
  EXPECT_TRUE(host.ReadFlash(0xD00000, 1).empty());
  EXPECT_EQ(waiting.Mode(), DspMode::kRejected);

  // A word count out of bounds: the loader stops at once and takes nothing more.
  for (const HostWord count : {HostWord{0}, HostWord{2}, HostWord{kMaxProgramWords + 1}}) {
    SimCard card(clock);
    Host counted(card, clock);
    auto stream = good;
    stream[0] = count;
    EXPECT_FALSE(counted.Boot(stream));
    EXPECT_EQ(card.Diagnostics().bootWordsTaken, 1u);
    EXPECT_EQ(card.Mode(), DspMode::kRejected);
  }
}

class SimCardService : public ::testing::Test {
 protected:
  void SetUp() override {
    FillPattern(card);
    ASSERT_TRUE(host.Boot(ShippedStream()));
  }

  VirtualClock clock;
  SimCard card{clock};
  Host host{card, clock};
};

TEST_F(SimCardService, EraseProgramAndReadBack) {
  const auto before = card.Flash().AllBytes();
  ASSERT_EQ(host.Erase(0xD02000), 0u);
  for (std::uint32_t k = 0; k < 0x10000; ++k) {
    const bool inSector = k >= 0x1000 && k < 0x3000;
    ASSERT_EQ(card.Flash().AllBytes()[k], inSector ? 0xFF : before[k]) << k;
  }

  const std::vector<std::uint8_t> data = {0x00, 0x41, 0xFE, 0x7F, 0x80};
  EXPECT_EQ(host.Program(0x10, data), 0u);
  EXPECT_EQ(host.ReadFlash(0xD01010, 5), Words(data));
  EXPECT_EQ(FlashBytes(card, 0xD0100F, 7),
            (std::vector<std::uint8_t>{0xFF, 0x00, 0x41, 0xFE, 0x7F, 0x80, 0xFF}));

  // Reads past the end of the chip answer erased bytes.
  EXPECT_EQ(host.ReadFlash(0xD0FFFF, 3), (std::vector<HostWord>{before[0xFFFF], 0xFF, 0xFF}));

  const auto& seen = card.Diagnostics().commands;
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].kind, CommandKind::kErase);
  EXPECT_EQ(seen[0].address, 0xD02000u);
  EXPECT_EQ(seen[1].kind, CommandKind::kProgram);
  EXPECT_EQ(seen[1].address, 0x10u);
  EXPECT_EQ(seen[1].count, 5u);
  EXPECT_EQ(seen[1].status, HostWord{0});
  EXPECT_EQ(seen[2].kind, CommandKind::kRead);
  EXPECT_EQ(seen[2].count, 5u);
  EXPECT_EQ(card.Diagnostics().overruns + card.Diagnostics().underruns, 0u);
  EXPECT_EQ(host.bus.Counters().strayReads + host.bus.Counters().strayWrites, 0u);
}

TEST_F(SimCardService, ProgrammingOnlyClearsBits) {
  card.Flash().Preset(0xD01000, std::vector<std::uint8_t>{0x0F, 0x0F});
  EXPECT_EQ(host.Program(0, std::vector<std::uint8_t>{0x05, 0xF0}), 1u);
  EXPECT_EQ(FlashBytes(card, 0xD01000, 2), (std::vector<std::uint8_t>{0x05, 0x00}));
  EXPECT_EQ(host.Program(0, std::vector<std::uint8_t>{0x04}), 0u);
  EXPECT_EQ(card.Flash().Read(0xD01000), 0x04);
}

TEST_F(SimCardService, AddressesOutsideTheirAreasFailAndChangeNothing) {
  const auto before = card.Flash().AllBytes();
  EXPECT_EQ(host.Program(0x1FFF, std::vector<std::uint8_t>{0, 0}), 1u);
  EXPECT_EQ(host.Program(0x2000, std::vector<std::uint8_t>{0}), 1u);
  EXPECT_EQ(host.Erase(0xD10000), 1u);
  EXPECT_EQ(host.Erase(0xCFFFFF), 1u);
  EXPECT_EQ(card.Flash().AllBytes(), before);
  // The refused program still took its data words; the card is ready for more.
  EXPECT_EQ(host.ReadFlash(0xD02FFF, 1), (std::vector<HostWord>{before[0x2FFF]}));
}

TEST_F(SimCardService, SlowOperationsAnswerOnlyAfterTheirDelay) {
  card.Timing() = SimCardTiming{};
  const std::vector<std::uint8_t> ten(10, 0xFF);
  host.Command(0x68);
  ASSERT_TRUE(host.Send(3) && host.Send(0xD01000));
  EXPECT_GT(host.Poll(kHstrReceiveRequest).value_or(0), 200u);
  EXPECT_EQ(host.Read(kDataOffset), 0u);

  host.Command(0x68);
  ASSERT_TRUE(host.Send(2) && host.Send(0) && host.Send(10) && host.SendAll(Words(ten)));
  EXPECT_GT(host.Poll(kHstrReceiveRequest).value_or(0), 60u);
  EXPECT_EQ(host.Read(kDataOffset), 0u);

  card.Timing() = SimCardTiming::AlwaysReady();
  host.Command(0x68);
  ASSERT_TRUE(host.Send(3) && host.Send(0xD01000));
  EXPECT_LE(host.Poll(kHstrReceiveRequest).value_or(kPollLimit), 2u);
}

TEST_F(SimCardService, HostCommandDropsTheCommandInProgress) {
  host.Command(0x44);
  ASSERT_TRUE(host.Send(0xD00000) && host.Send(100));
  ASSERT_TRUE(host.Receive());
  ASSERT_TRUE(host.Poll(kHstrReceiveRequest));  // more bytes are waiting
  // The erase's status is the next word the host gets, not a byte of the read.
  EXPECT_EQ(host.Erase(0xD01000), 0u);
  EXPECT_EQ(card.Diagnostics().abortedCommands, 1u);
  EXPECT_GT(card.Diagnostics().discardedWords, 0u);
}

TEST_F(SimCardService, ChangesOfStateAreReported) {
  int changes = 0;
  card.SetStateChangedHandler([&changes] { ++changes; });
  ASSERT_EQ(host.Erase(0xD01000), 0u);
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(host.Program(0, std::vector<std::uint8_t>{1}), 0u);
  EXPECT_EQ(changes, 2);
  host.ReadFlash(0xD01000, 1);
  EXPECT_EQ(changes, 2);
  host.Write(kHctrOffset, host.Read(kHctrOffset) | kHctrBusy);
  EXPECT_EQ(changes, 3);
}

TEST_F(SimCardService, CardThatTakesNoWords) {
  card.Faults().takesNoWords = true;
  EXPECT_EQ(host.Read(kHstrOffset), 0u);
  EXPECT_FALSE(host.Erase(0xD01000));
  host.Write(kDataOffset, 1);
  EXPECT_EQ(card.Diagnostics().overruns, 1u);
  card.Faults().takesNoWords = false;
  EXPECT_EQ(host.Erase(0xD01000), 0u);
}

TEST_F(SimCardService, ReadFaults) {
  card.Faults().commands.push_back({CommandKind::kRead, 2, FaultAction::kStop, 3});
  EXPECT_EQ(host.ReadFlash(0xD00000, 8).size(), 8u);
  EXPECT_EQ(host.ReadFlash(0xD00000, 8).size(), 3u);
  EXPECT_EQ(host.ReadFlash(0xD00000, 8).size(), 8u);
  EXPECT_TRUE(card.Diagnostics().commands[1].faulted);

  card.Faults().commands = {{CommandKind::kRead, 1, FaultAction::kLie, 2}};
  const auto words = host.ReadFlash(0xD00000, 4);
  ASSERT_EQ(words.size(), 4u);
  EXPECT_EQ(words[1], card.Flash().Read(0xD00001));
  EXPECT_EQ(words[2], card.Flash().Read(0xD00002) ^ 0xFFu);

  card.Faults().commands = {{CommandKind::kRead, 1, FaultAction::kFail, 0}};
  EXPECT_TRUE(host.ReadFlash(0xD00000, 4).empty());
}

TEST_F(SimCardService, EraseFaults) {
  const auto before = card.Flash().AllBytes();
  card.Faults().commands = {{CommandKind::kErase, 1, FaultAction::kFail, 0},
                            {CommandKind::kErase, 2, FaultAction::kLie, 0},
                            {CommandKind::kErase, 3, FaultAction::kStop, 0}};
  EXPECT_EQ(host.Erase(0xD01000), 1u);
  EXPECT_EQ(host.Erase(0xD01000), 0u);
  EXPECT_EQ(card.Flash().AllBytes(), before);
  EXPECT_FALSE(host.Erase(0xD01000));
  EXPECT_EQ(card.Flash().Read(0xD01000), 0xFF);  // erased all the same
  EXPECT_EQ(host.Erase(0xD02000), 0u);

  // Erases that clear more than their sector: also the first sector, or all.
  card.Flash().Preset(0xD00010, std::vector<std::uint8_t>{0x12});
  card.Flash().Preset(0xD04000, std::vector<std::uint8_t>{0x34});
  card.Faults().commands = {{CommandKind::kErase, 1, FaultAction::kSpill, 0xD00000},
                            {CommandKind::kErase, 2, FaultAction::kSpill, 0}};
  EXPECT_EQ(host.Erase(0xD01000), 0u);
  EXPECT_EQ(card.Flash().Read(0xD00010), 0xFF);
  EXPECT_EQ(card.Flash().Read(0xD04000), 0x34);
  EXPECT_EQ(host.Erase(0xD01000), 0u);
  EXPECT_EQ(card.Flash().Read(0xD04000), 0xFF);
}

TEST_F(SimCardService, ProgramFaultsHitTheChosenCommand) {
  const std::vector<std::uint8_t> data = {0x11, 0x22, 0x33, 0x44, 0x55};
  const std::vector<std::uint8_t> erased(5, 0xFF);
  ASSERT_EQ(host.Erase(0xD01000), 0u);
  ASSERT_EQ(host.Program(0x000, data), 0u);  // before the faults: not counted

  card.Faults().commands = {{CommandKind::kProgram, 2, FaultAction::kFail, 0},
                            {CommandKind::kProgram, 3, FaultAction::kLie, 0},
                            {CommandKind::kProgram, 4, FaultAction::kLie, 3},
                            {CommandKind::kProgram, 5, FaultAction::kStop, 2}};
  EXPECT_EQ(host.Program(0x100, data), 0u);
  EXPECT_EQ(host.Program(0x200, data), 1u);
  EXPECT_EQ(host.Program(0x300, data), 0u);
  EXPECT_EQ(host.Program(0x400, data), 0u);
  EXPECT_FALSE(host.Program(0x500, data));
  EXPECT_EQ(host.Program(0x600, data), 0u);

  EXPECT_EQ(FlashBytes(card, 0xD01100, 5), data);
  EXPECT_EQ(FlashBytes(card, 0xD01200, 5), erased);
  EXPECT_EQ(FlashBytes(card, 0xD01300, 5), erased);
  EXPECT_EQ(FlashBytes(card, 0xD01400, 5),
            (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0xFF, 0xFF}));
  EXPECT_EQ(FlashBytes(card, 0xD01500, 5),
            (std::vector<std::uint8_t>{0x11, 0x22, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(FlashBytes(card, 0xD01600, 5), data);
  EXPECT_EQ(card.Faults().commands[0].seen, 6u);

  card.Faults().commands = {{CommandKind::kProgram, 0, FaultAction::kFail, 0}};
  EXPECT_EQ(host.Program(0x700, data), 1u);
  EXPECT_EQ(host.Program(0x800, data), 1u);
}

TEST_F(SimCardService, PowerCutsDoHalfTheWorkAndLeaveTheRegisterAccess) {
  std::vector<CommandKind> begun;
  card.SetCommandBegunHandler([&begun](const CommandRecord& c) { begun.push_back(c.kind); });
  const auto before = card.Flash().AllBytes();
  card.Faults().commands = {{CommandKind::kRead, 1, FaultAction::kPowerCut, 0},
                            {CommandKind::kErase, 1, FaultAction::kPowerCut, 0},
                            {CommandKind::kProgram, 1, FaultAction::kPowerCut, 0}};
  host.Command(0x44);
  ASSERT_TRUE(host.Send(0xD00000) && host.Send(8));
  std::vector<HostWord> got;
  EXPECT_THROW(
      while (got.size() < 8) { got.push_back(host.Receive().value()); }, PowerCut);
  EXPECT_EQ(got, Words(FlashBytes(card, 0xD00000, 4)));

  EXPECT_THROW(host.Erase(0xD02000), PowerCut);
  EXPECT_EQ(FlashBytes(card, 0xD01000, 0x1000), std::vector<std::uint8_t>(0x1000, 0xFF));
  EXPECT_TRUE(
      std::equal(before.begin() + 0x2000, before.end(), card.Flash().AllBytes().begin() + 0x2000));

  EXPECT_THROW(host.Program(0x10, std::vector<std::uint8_t>(4, 0x00)), PowerCut);
  EXPECT_EQ(FlashBytes(card, 0xD01010, 4), (std::vector<std::uint8_t>{0, 0, 0xFF, 0xFF}));
  EXPECT_EQ(begun, (std::vector{CommandKind::kRead, CommandKind::kErase, CommandKind::kProgram}));

  // A handler that throws stops the command before it does anything.
  card.SetCommandBegunHandler([](const CommandRecord&) { throw 7; });
  EXPECT_THROW(host.Erase(0xD01000), int);
  EXPECT_EQ(card.Flash().Read(0xD01010), 0x00);
  EXPECT_EQ(card.Diagnostics().commands.size(), 3u);
}

// Every erase clears the card's range, whatever address in the flash it names,
// and its faults act on that range; a program block is taken only inside it.
TEST_F(SimCardService, EraseRangeDecidesWhatErasesClearAndWhereProgramsGo) {
  struct Row {
    std::uint32_t from, to, address;
    std::optional<FaultAction> action;
    std::uint32_t amount;
    std::optional<HostWord> status;
    std::uint32_t erasedFrom, erasedEnd;
  };
  const Row rows[] = {
      {0xD01000, 0xD02FFF, 0xD00000, {}, 0, 0, 0xD01000, 0xD03000},
      {0xD01000, 0xD02C05, 0xD0FFFF, {}, 0, 0, 0xD01000, 0xD02C06},
      {0xD00000, 0xD03FFF, 0xD05000, {}, 0, 0, 0xD00000, 0xD04000},
      {0xD00000, 0xD0FFFF, 0xD01000, {}, 0, 0, 0xD00000, 0xD10000},
      {0xD01000, 0xD02C05, 0xD08000, FaultAction::kSpill, 0xD00010, 0, 0xD00000, 0xD02C06},
      {0xD00000, 0xD03FFF, 0xD08000, FaultAction::kStop, 0, {}, 0xD00000, 0xD04000},
      {0xD00000, 0xD03FFF, 0xD08000, FaultAction::kPowerCut, 0, {}, 0xD00000, 0xD02000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(&row - rows);
    card.Settings().eraseFrom = row.from;
    card.Settings().eraseTo = row.to;
    card.Faults().commands.clear();
    if (row.action) {
      card.Faults().commands = {{CommandKind::kErase, 1, *row.action, row.amount}};
    }
    FillPattern(card);
    const auto before = card.Flash().AllBytes();
    std::optional<HostWord> status;
    try {
      status = host.Erase(row.address);
    } catch (const PowerCut&) {
    }
    EXPECT_EQ(status, row.status);
    for (std::uint32_t a = kFlashStart; a < kFlashEnd; ++a) {
      const bool erased = a >= row.erasedFrom && a < row.erasedEnd;
      ASSERT_EQ(card.Flash().Read(a), erased ? 0xFF : before[a - kFlashStart]) << a;
    }
    if (!row.action) {  // a block up to the range's last byte goes in, one byte more does not
      const std::uint8_t beyond = card.Flash().Read(row.to + 1);
      EXPECT_EQ(host.Program(row.to - kRecordAreaStart, std::vector<std::uint8_t>{0x5A}), 0u);
      EXPECT_EQ(host.Program(row.to - kRecordAreaStart - 1, std::vector<std::uint8_t>{1, 2, 3}),
                1u);
      EXPECT_EQ(FlashBytes(card, row.to - 1, 3), (std::vector<std::uint8_t>{0xFF, 0x5A, beyond}));
    }
  }
}

// What the host left unread and what the DSP still owed (also what a late
// command owes after the host's poll ran out) come before the next command's
// answers on a card that keeps unread words; on other cards, and after a boot
// on every card, they are gone.
TEST(SimCardUnreadWords, KeptAndOwedWordsComeBeforeTheNextAnswers) {
  using Owed = std::vector<HostWord>;
  const auto unread_status = [](SimCard&, Host& host) {
    host.Command(0x68);
    EXPECT_TRUE(host.Send(3) && host.Send(0xD01000) && host.Poll(kHstrReceiveRequest));
    return Owed{0};
  };
  const std::function<Owed(SimCard&, Host&)> cases[] = {
      unread_status,
      [](SimCard& card, Host& host) {  // a read: two words unread, seven owed
        host.Command(0x44);
        EXPECT_TRUE(host.Send(0xD00010) && host.Send(9) && host.Poll(kHstrReceiveRequest) &&
                    host.Poll(kHstrReceiveRequest));
        return Words(FlashBytes(card, 0xD00010, 4));  // as many as the FIFO holds
      },
      [](SimCard&, Host& host) {  // an erase status still in its delay
        host.Command(0x68);
        EXPECT_TRUE(host.Send(3) && host.Send(0xD01000));
        return Owed{0};
      },
      [](SimCard& card, Host& host) {
        card.Faults().commands = {{CommandKind::kRead, 1, FaultAction::kLate, 2}};
        EXPECT_EQ(host.ReadFlash(0xD00010, 7), Words(FlashBytes(card, 0xD00010, 2)));
        return Words(FlashBytes(card, 0xD00012, 4));
      },
      [](SimCard& card, Host& host) {
        card.Faults().commands = {{CommandKind::kProgram, 1, FaultAction::kLate, 0}};
        EXPECT_FALSE(host.Program(0x10, std::vector<std::uint8_t>{0, 0}));
        EXPECT_EQ(FlashBytes(card, 0xD01010, 2), (std::vector<std::uint8_t>{0, 0}));
        return Owed{0};
      },
      [](SimCard& card, Host& host) {
        card.Faults().commands = {{CommandKind::kErase, 1, FaultAction::kLate, 0}};
        EXPECT_FALSE(host.Erase(0xD01000));
        EXPECT_EQ(card.Flash().Read(0xD01000), 0xFF);
        return Owed{0};
      },
      [&unread_status](SimCard& card, Host& host) {
        unread_status(card, host);
        EXPECT_TRUE(host.Boot(ShippedStream()));
        return Owed{};
      },
  };
  VirtualClock clock;
  for (const auto& leave_words : cases) {
    for (const bool keeps : {false, true}) {
      SCOPED_TRACE(std::to_string(&leave_words - cases) + (keeps ? ", keeps" : ""));
      SimCard card(clock);
      FillPattern(card);
      Host host(card, clock);
      ASSERT_TRUE(host.Boot(ShippedStream()));
      card.Settings().keepsUnreadWords = keeps;
      Owed expected = leave_words(card, host);
      if (!keeps) {
        expected.clear();
      }
      std::ranges::copy(Words(FlashBytes(card, 0xD00000, 5)), std::back_inserter(expected));
      expected.resize(5);
      EXPECT_EQ(host.ReadFlash(0xD00000, 5), expected);
    }
  }
}

TEST(SimCardFormats, FormatsOtherThanTwoMangleWords) {
  VirtualClock clock;
  SimCard card(clock);
  Host host(card, clock);
  host.SetFormats(0, 2);
  host.Boot(ShippedStream());
  EXPECT_TRUE(host.ReadFlash(0xD00000, 1).empty());
  EXPECT_NE(card.Mode(), DspMode::kService);

  host.SetFormats(2, 0);
  ASSERT_TRUE(host.Boot(ShippedStream()));
  card.Flash().Preset(0xD00000, std::vector<std::uint8_t>{0x5A});
  EXPECT_EQ(host.ReadFlash(0xD00000, 1), (std::vector<HostWord>{0x5A00}));
}

TEST(SimCardRegisters, MisusedRegistersAreCounted) {
  VirtualClock clock;
  SimCard card(clock);
  Host host(card, clock);
  for (HostWord w = 0; w < kFifoDepth + 1; ++w) {
    host.Write(kDataOffset, w);  // nothing takes them: the last one is lost
  }
  EXPECT_EQ(host.Read(kDataOffset), 0u);
  host.Read(kHcvrOffset);
  host.Write(kHstrOffset, 0);
  host.Read(0x20);
  host.Write(0x0, 1);
  host.Write(kHcvrOffset, 0x88);  // HC clear
  const auto& d = card.Diagnostics();
  EXPECT_EQ(d.overruns, 1u);
  EXPECT_EQ(d.underruns, 1u);
  EXPECT_EQ(d.unsupportedAccesses, 4u);
  EXPECT_EQ(d.ignoredHostCommands, 1u);
  EXPECT_EQ(d.registerWrites, 9u);  // formats, five words, three others
  EXPECT_EQ(d.statusReads, 0u);
}

TEST(SimRegisterBus, RoutesWindowsAndReportsStrayAccesses) {
  VirtualClock clock;
  SimCard first(clock);
  SimCard second(clock);
  SimRegisterBus bus;
  std::vector<std::string> faults;
  bus.SetMachineFaultHandler(
      [&faults](const MachineFault& fault) { faults.push_back(Describe(fault)); });
  ASSERT_TRUE(bus.MapWindow(0x10000, first));
  ASSERT_TRUE(bus.MapWindow(0x30000, second));
  EXPECT_FALSE(bus.MapWindow(0x1FFFF, second));
  EXPECT_FALSE(bus.MapWindow(0x20001, second));
  EXPECT_FALSE(bus.MapWindow(0xFFFF8000, second));
  EXPECT_TRUE(bus.MapWindow(0x20000, second));
  EXPECT_TRUE(bus.UnmapWindow(0x20000));

  bus.Write32(0x30000 + kHctrOffset, 0x4200);
  EXPECT_EQ(second.Control(), 0x4200u);
  EXPECT_EQ(first.Control(), 0u);
  EXPECT_EQ(bus.Read32(0x3FFFC), 0u);  // inside the window, no register there
  EXPECT_EQ(second.Diagnostics().unsupportedAccesses, 1u);

  EXPECT_EQ(bus.Read32(0x20010), 0xFFFFFFFFu);
  bus.Write32(0x40000, 1);
  ASSERT_TRUE(bus.UnmapWindow(0x30000));
  EXPECT_FALSE(bus.UnmapWindow(0x30000));
  EXPECT_EQ(bus.Read32(0x30010), 0xFFFFFFFFu);
  EXPECT_EQ(bus.Counters().strayReads, 2u);
  EXPECT_EQ(bus.Counters().strayWrites, 1u);
  EXPECT_EQ(bus.Counters().reads, 3u);
  EXPECT_EQ(bus.Counters().writes, 2u);
  // Each stray access is a machine fault; in a window unmapped earlier the
  // register is named.
  EXPECT_EQ(faults,
            (std::vector<std::string>{
                "register read at 0x20010: HCTR of the window at 0x20000 after its unmap",
                "register write at 0x40000: outside every mapped window",
                "register read at 0x30010: HCTR of the window at 0x30000 after its unmap"}));
}

}  // namespace
}  // namespace fu::sim
