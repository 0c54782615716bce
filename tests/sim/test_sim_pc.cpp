#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "platform/scripted_message_service.h"
#include "record/image_codec.h"
#include "record/model_table.h"
#include "record/revision.h"
#include "record/upgrade.h"
#include "sim/default_cards.h"
#include "sim/host_os.h"
#include "sim/shipped_files.h"
#include "sim/sim_pc.h"
#include "support/machine_faults.h"
#include "support/temp_folder.h"

namespace fu::sim {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kNtDevice = "\\\\.\\Dev_HWACCESS";
constexpr std::string_view kProgramVxd = "C:\\Programme\\FlashUpdate\\HWAccess.VxD";
constexpr std::string_view kRootVxd = "C:\\HWAccess.VxD";

std::string Device(std::string_view path) {
  return "\\\\.\\" + std::string(path);
}

ServiceRegistration DriverService(std::string binary) {
  return {"HWACCESS",
          "HWACCESS",
          win::SERVICE_ALL_ACCESS,
          win::SERVICE_KERNEL_DRIVER,
          win::SERVICE_AUTO_START,
          win::SERVICE_ERROR_NORMAL,
          std::move(binary)};
}

struct Answer {
  bool ok = false;
  std::uint32_t returned = 0;
  std::uint32_t value = 0;
  std::uint32_t error = 0;
};

// One driver request as the driver layer sends it: the block names the answer
// buffer by its process address and size.
Answer Request(SimSystem& system, Handle device, std::uint32_t kind, std::uint32_t address,
               std::uint32_t length, std::size_t answer_size = 4,
               std::uint32_t code = kDriverIoControlCode) {
  std::array<std::uint8_t, 4> answer{};
  const std::span<std::uint8_t> output(answer.data(), answer_size);
  const std::uint32_t fields[] = {kind, address, length,
                                  answer_size != 0 ? system.ProcessAddress(answer.data()) : 0u,
                                  static_cast<std::uint32_t>(answer_size)};
  std::array<std::uint8_t, 20> block{};
  for (std::size_t i = 0; i < 20; ++i) {
    block[i] = static_cast<std::uint8_t>(fields[i / 4] >> (8 * (i % 4)));
  }
  Answer a;
  a.ok = system.DeviceIoControl(device, code, block, output, a.returned);
  a.value = static_cast<std::uint32_t>(answer[0]) | answer[1] << 8 | answer[2] << 16 |
            static_cast<std::uint32_t>(answer[3]) << 24;
  a.error = a.ok ? 0 : system.GetLastError();
  return a;
}

std::uint32_t ConfigRead(SimPortIo& ports, unsigned bus, unsigned device, unsigned reg,
                         unsigned function = 0) {
  ports.OutDword(0xCF8, 0x80000000u | bus << 16 | device << 11 | function << 8 | reg << 2);
  return ports.InDword(0xCFC);
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The text with the first (or last) occurrence of `from` replaced.
std::string Replaced(std::string text, std::string_view from, std::string_view to,
                     bool last = false) {
  const std::size_t at = last ? text.rfind(from) : text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

class SimPcTest : public ::testing::Test {
 protected:
  // Every SimPc the test had on the folder wrote its machine faults to the log.
  void TearDown() override {
    test::ExpectNoMachineFaults(SimPc::RecordedMachineFaults(PcFolder()));
  }
  fs::path PcFolder() const { return temp.Path() / "pc"; }

  SimPc& Pc() {
    if (!pc) {
      pc.emplace(PcFolder());
    }
    return *pc;
  }
  void Restart() {
    pc.reset();
    pc.emplace(PcFolder());
  }

  // Installs and starts the driver service the way the driver layer does on NT.
  void StartDriver() {
    SimSystem& s = Pc().System();
    const Handle manager = s.OpenSCManager(win::SC_MANAGER_ALL_RIGHTS);
    const Handle service =
        s.CreateService(manager, DriverService(Pc().ProgramDirectory() + "HWACCESS.SYS"));
    ASSERT_NE(service, 0u);
    ASSERT_TRUE(s.StartService(service));
    s.CloseServiceHandle(service);
    s.CloseServiceHandle(manager);
  }
  Handle OpenDevice() {
    return Pc().System().CreateFile(kNtDevice, win::GENERIC_READ, win::FILE_SHARE_READ,
                                    win::OPEN_EXISTING, 0);
  }

  test::TempFolder temp;
  std::optional<SimPc> pc;
};

// --- the default PC ---

TEST_F(SimPcTest, DefaultPcHoldsProgramFilesAndTwoPlausibleCards) {
  SimPc& p = Pc();
  EXPECT_TRUE(fs::is_regular_file(PcFolder() / "pc.json"));
  EXPECT_EQ(p.System().GetModuleFileName(), "C:\\Programme\\FlashUpdate\\FlashUpdate.exe");
  EXPECT_EQ(p.ProgramDirectory(), "C:\\Programme\\FlashUpdate\\");
  EXPECT_EQ(p.System().PlatformId(), win::VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(p.Clock().ShortDate(), "05.03.2003");

  // The DSP program is the shipped file, byte for byte.
  std::ifstream shipped(FU_SOURCE_DIR "/src/sim/dsp/QX4FLASH_PCI.PCI", std::ios::binary);
  const std::vector<std::uint8_t> source((std::istreambuf_iterator<char>(shipped)),
                                         std::istreambuf_iterator<char>());
  ASSERT_FALSE(source.empty());
  EXPECT_EQ(p.Drive().Contents("C:\\Programme\\FlashUpdate\\QX4FLASH_PCI.PCI"), source);
  EXPECT_TRUE(p.Drive().Exists("c:\\programme\\flashupdate\\hwaccess.sys"));
  EXPECT_TRUE(p.Drive().Exists(kProgramVxd));

  ASSERT_EQ(p.CardCount(), 2u);
  EXPECT_EQ(p.Place(0).bus, 0);
  EXPECT_EQ(p.Place(1).bus, 1);
  EXPECT_NE(p.Place(0).device, 0);  // device 0 would read as an empty card table entry
  EXPECT_NE(p.Place(1).device, 0);
  EXPECT_NE(p.Place(0).window, p.Place(1).window);

  const auto record_area = [&p](std::size_t card) {
    const auto& flash = p.Card(card).Flash().AllBytes();
    return std::span(flash).subspan(kRecordAreaStart - kFlashStart,
                                    kRecordAreaEnd - kRecordAreaStart);
  };
  const auto erased = [&](std::size_t card, std::size_t from, std::size_t to) {
    return std::ranges::all_of(record_area(card).subspan(from, to - from),
                               [](auto b) { return b == 0xFF; });
  };
  constexpr std::size_t kOwnTable = 0x1E00;  // card 0's calibration table, 0xD02E00
  constexpr std::size_t kAreaSize = kRecordAreaEnd - kRecordAreaStart;

  // Card 0: revision 1.2 whose model is known and whose texts all read, so its
  // upgrade shows nothing and asks nothing.
  const RecordV12 v12(record_area(0));
  EXPECT_EQ(RecognizeRevision(v12), kRevision12);
  EXPECT_NE(FindModel(v12.Get(v12::CardName)), nullptr);
  // Erased after the record up to a table of the card's own, which a restore must bring back.
  EXPECT_TRUE(erased(0, kRecordV12Size, kOwnTable));
  EXPECT_FALSE(erased(0, kOwnTable, kOwnTable + 4));
  RecordV13 upgraded;
  ScriptedMessageService messages;
  EXPECT_TRUE(UpgradeRecord(v12, upgraded, messages));
  EXPECT_TRUE(messages.Shown().empty());

  // Card 1: revision 1.3, read either way.
  EXPECT_EQ(RecognizeRevision(RecordV12(record_area(1))), kRevision13);
  ImageV13 image;
  std::ranges::copy(record_area(1).first(kImageV13Size), image.bytes.begin());
  RecordV13 v13;
  DecodeImage(image, v13);
  EXPECT_EQ(RecognizeRevision(v13), kRevision13);
  EXPECT_NE(FindModel(v13.CardName.view()), nullptr);
  EXPECT_TRUE(erased(1, kImageV13Size, kAreaSize));

  // The sectors around the record hold data, not just erased flash.
  const auto& flash = p.Card(0).Flash().AllBytes();
  EXPECT_FALSE(
      std::all_of(flash.begin(), flash.begin() + 0x1000, [](auto b) { return b == 0xFF; }));
}

TEST_F(SimPcTest, FoldersThatHoldSomethingElseAreRefused) {
  fs::create_directories(PcFolder());
  std::ofstream(PcFolder() / "notes.txt") << "mine";
  try {
    Pc();
    FAIL() << "a foreign folder was taken";
  } catch (const SimPcError& e) {
    EXPECT_NE(std::string(e.what()).find("enth\xE4lt keinen simulierten PC"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(PcFolder() / "C"));
  EXPECT_FALSE(fs::exists(PcFolder() / "pc.lock"));

  // What a creation that died half-way leaves is started again.
  fs::remove(PcFolder() / "notes.txt");
  fs::create_directories(PcFolder() / "C" / "Programme");
  fs::create_directories(PcFolder() / "cards");
  std::ofstream(PcFolder() / "cards" / "card0.flash.tmp") << "part";
  EXPECT_EQ(Pc().CardCount(), 2u);
  EXPECT_FALSE(fs::exists(PcFolder() / "cards" / "card0.flash.tmp"));
}

TEST_F(SimPcTest, DamagedFolderGivesAClearError) {
  Pc();
  pc.reset();
  fs::resize_file(PcFolder() / "cards" / "card1.flash", 1000);
  EXPECT_THROW(Pc(), SimPcError);

  // The library's and the system's own texts are English: they never reach the user.
  const auto expect_refused = [this](const fs::path& folder, const std::string& german) {
    try {
      pc.emplace(folder);
      ADD_FAILURE() << "a damaged folder was taken";
    } catch (const SimPcError& e) {
      const std::string text = e.what();
      EXPECT_NE(text.find(german), std::string::npos) << text;
      for (const char* english : {"json.exception", "not found", "Not a directory"}) {
        EXPECT_EQ(text.find(english), std::string::npos) << text;
      }
    }
  };
  const struct {
    const char* description;
    const char* german;
  } kDamaged[] = {
      {"{\"format\": 1, \"platform\": \"OS/2\"}",
       "fehlerhaft: \"platform\" ist \"NT\" oder \"9x\", nicht \"OS/2\""},
      {"{\"format\": 1,", "fehlerhaft: kein g\xFCltiges JSON, Fehler bei Byte 14"},
      {"{\"format\": 1, \"platform\": \"NT\", \"programPath\": \"C:\\\\F.EXE\", "
       "\"shortDateFormat\": \"dd.MM.yyyy\"}",
       "fehlerhaft: der Eintrag \"cards\" fehlt"},
  };
  for (const auto& damaged : kDamaged) {
    fs::remove_all(PcFolder());
    Pc();
    pc.reset();
    std::ofstream(PcFolder() / "pc.json") << damaged.description;
    expect_refused(PcFolder(), damaged.german);
  }

  // A folder below a regular file.
  std::ofstream(temp.Path() / "file") << "x";
  expect_refused(temp.Path() / "file" / "pc", "kann nicht gespeichert werden: Kein Verzeichnis");
}

// --- state across restarts, and the lock ---

TEST_F(SimPcTest, StateSurvivesARestart) {
  Pc();
  StartDriver();
  Restart();
  const ServiceEntry* started = pc->System().FindService("hwaccess");
  ASSERT_NE(started, nullptr);
  EXPECT_TRUE(started->running);

  SimPc& p = *pc;
  p.Card(0).Timing() = SimCardTiming::AlwaysReady();
  p.Card(0).Timing().startMilliseconds = 150;
  p.Save();

  // An erase through the card's host interface, after the shipped program booted
  // from drive C:, is saved by itself.
  const Handle device = OpenDevice();
  const LinearAddress window = Request(p.System(), device, 3, p.Place(0).window, 0xFFFF).value;
  ASSERT_NE(window, 0u);
  SimRegisterBus& bus = p.Bus();
  const auto poll = [&](std::uint32_t bit) {
    for (int i = 0; i < 10000; ++i) {
      if (bus.Read32(window + kHstrOffset) & bit) {
        return true;
      }
    }
    return false;
  };
  const auto send = [&](std::uint32_t word) {
    ASSERT_TRUE(poll(kHstrTransmitRequest));
    bus.Write32(window + kDataOffset, word);
  };
  bus.Write32(window + kHctrOffset, 2u << 8 | 2u << 11);  // both data formats 2
  bus.Write32(window + kHcvrOffset, kBootHostCommand);
  p.Clock().Sleep(std::chrono::milliseconds(500));  // the DSP's reset
  const auto program = p.Drive().Contents("C:\\Programme\\FlashUpdate\\QX4FLASH_PCI.PCI");
  const std::string text(program.begin(), program.end());
  std::vector<std::uint32_t> stream;  // word count N, then N + 1 words; blanks read as 0
  for (std::size_t at = 0; stream.empty() || stream.size() < stream[0] + 2;) {
    std::string line = text.substr(at, text.find('\n', at) - at);
    at += line.size() + 1;
    std::replace(line.begin(), line.end(), ' ', '0');
    stream.push_back(static_cast<std::uint32_t>(std::stoul(line, nullptr, 16)));
  }
  for (const std::uint32_t word : stream) {
    send(word);
  }
  p.Clock().Sleep(std::chrono::milliseconds(250));  // the program's start
  bus.Write32(window + kHcvrOffset, 0x68u << 1 | 1u);
  send(3);
  send(kRecordAreaStart);
  ASSERT_TRUE(poll(kHstrReceiveRequest));
  ASSERT_EQ(bus.Read32(window + kDataOffset), 0u);
  const SimFlash::Bytes erased = p.Card(0).Flash().AllBytes();
  ASSERT_EQ(erased[kRecordAreaStart - kFlashStart], 0xFF);
  const std::uint32_t control = p.Card(0).Control();

  // Each setting is saved as it is made, with the time of day.
  p.Virtual()->Sleep(std::chrono::hours(30));
  p.SetBusyHeldByOther(1, true);
  p.SetPlatform(Platform::kWindows9x);
  p.SetShortDateFormat("M/d/yyyy");
  p.SetRefuseMap(true);
  const LocalDateTime now = p.Virtual()->Now();
  // The two cards change slots, each with its flash, flags and timing.
  const SimFlash::Bytes other = p.Card(1).Flash().AllBytes();
  p.SwapCards(0, 1);
  EXPECT_EQ(p.SaveFailures(), 0u);

  Restart();
  EXPECT_EQ(pc->Card(1).Flash().AllBytes(), erased);
  EXPECT_EQ(pc->Card(0).Flash().AllBytes(), other);
  EXPECT_EQ(pc->Card(1).Control(), control);
  EXPECT_EQ(pc->Card(0).Control() & kHctrBusy, kHctrBusy);
  EXPECT_EQ(pc->Card(1).Timing().eraseReads, 0u);
  EXPECT_EQ(pc->Card(1).Timing().startMilliseconds, 150u);
  EXPECT_EQ(pc->Place(0).bus, 0u);
  EXPECT_EQ(pc->System().PlatformId(), win::VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_TRUE(pc->System().Faults().refuseMap);
  EXPECT_EQ(pc->Virtual()->Now(), now);
  EXPECT_EQ(pc->Clock().ShortDate(), "3/6/2003");
  const ServiceEntry* service = pc->System().FindService("hwaccess");
  ASSERT_NE(service, nullptr);
  EXPECT_TRUE(service->running);
  EXPECT_EQ(service->binaryPath, "C:\\Programme\\FlashUpdate\\HWACCESS.SYS");
  // Handles and mappings belong to the program that ended.
  EXPECT_TRUE(pc->System().Mappings().empty());
  EXPECT_EQ(pc->System().OpenDeviceHandles(), 0u);
}

// A power loss keeps each card's flash, unsaved or not, and what was durable on
// drive C:; drivers and host interfaces come up as after switching on.
TEST_F(SimPcTest, PowerLossKeepsFlashAndDurableFilesAndStopsServices) {
  StartDriver();
  SimSystem& s = Pc().System();
  ServiceRegistration leaving = DriverService(Pc().ProgramDirectory() + "HWACCESS.SYS");
  leaving.name = "LEAVING";
  const Handle manager = s.OpenSCManager(win::SC_MANAGER_ALL_RIGHTS);
  const Handle service = s.CreateService(manager, leaving);
  ASSERT_TRUE(s.StartService(service));
  ASSERT_TRUE(s.DeleteService(service));  // goes when it stops

  SimFlash::Bytes& flash = Pc().Card(0).Flash().AllBytes();
  std::fill_n(flash.begin() + 0x1000, 64, 0x00);  // as an erase halfway through leaves it
  const SimFlash::Bytes unsaved = flash;
  Pc().Card(1).SetControl(kHctrBusy | kHctrBootDone | 2u << 8);
  auto kept = Pc().Drive().Create("C:\\KEPT.SAV");
  kept->Write(std::vector<std::uint8_t>{1});
  kept->Flush();
  Pc().Drive().Create("C:\\LOST.TMP")->Write(std::vector<std::uint8_t>{2});

  Pc().LosePower();
  Restart();
  EXPECT_EQ(pc->Card(0).Flash().AllBytes(), unsaved);
  EXPECT_EQ(pc->Card(1).Control(), 0u);
  EXPECT_EQ(pc->Card(0).Mode(), DspMode::kHalted);
  EXPECT_EQ(pc->System().Services().size(), 1u);
  ASSERT_NE(pc->System().FindService("HWACCESS"), nullptr);
  EXPECT_FALSE(pc->System().FindService("HWACCESS")->running);
  EXPECT_TRUE(pc->Drive().Exists("C:\\KEPT.SAV"));
  EXPECT_FALSE(pc->Drive().Exists("C:\\LOST.TMP"));
}

// --- the cards' settings ---

TEST_F(SimPcTest, CardSettingsAreKeptInPcJsonAndGoWithTheCard) {
  Pc();
  pc.reset();
  // A pc.json of an older version has none of the keys: the defaults, written back.
  std::string text = ReadText(PcFolder() / "pc.json");
  for (const char* key : {"eraseClears", "busyAtPowerUp", "keepsUnreadWords", "factoryData"}) {
    for (std::size_t at; (at = text.find(std::string("\"") + key + "\"")) != std::string::npos;) {
      text.erase(text.rfind('\n', at), text.find('\n', at) - text.rfind('\n', at));
    }
  }
  std::ofstream(PcFolder() / "pc.json") << text;
  EXPECT_EQ(Pc().CardSettings(0), SimCardSettings{});
  Pc().Save();
  pc.reset();
  text = ReadText(PcFolder() / "pc.json");
  std::ofstream(PcFolder() / "pc.json")
      << Replaced(Replaced(text, "0xD01000-0xD02FFF", "0xd00000-0xd0ffff"),
                  "\"keepsUnreadWords\": false", "\"keepsUnreadWords\": true");

  const SimCardSettings chosen{0xD01000, 0xD02C05, true, false, false};
  Pc().Card(1).Faults().commands = {{CommandKind::kProgram, 2, FaultAction::kLate, 0}};
  Pc().SetCardSettings(1, chosen);
  Pc().AddCardLike(1, {2, 1, 0xFE800000});
  Pc().SwapCards(0, 1);
  Restart();
  EXPECT_EQ(pc->CardSettings(0), chosen);
  EXPECT_EQ(pc->CardSettings(1), (SimCardSettings{0xD00000, 0xD0FFFF, false, true, true}));
  EXPECT_EQ(pc->CardSettings(2), chosen);
  EXPECT_EQ(pc->Card(0).Faults().commands.at(0).action, FaultAction::kLate);
  EXPECT_NE(ReadText(PcFolder() / "pc.json").find("\"0xD00000-0xD0FFFF\""), std::string::npos);
}

TEST_F(SimPcTest, EraseRangesThatMissTheRecordAreRefused) {
  const struct {
    const char* range;
    const char* german;
  } kBad[] = {
      {"0xD02FFF-0xD01000", "0xD02FFF-0xD01000: das erste Byte liegt hinter dem letzten"},
      {"0xCFF000-0xD02FFF", "0xCFF000-0xD02FFF liegt nicht ganz im Flash 0xD00000-0xD0FFFF"},
      {"0xD01000-0xD10000", "0xD01000-0xD10000 liegt nicht ganz im Flash"},
      {"0xD01001-0xD0FFFF",
       "0xD01001-0xD0FFFF l\xF6scht nicht den ganzen Datensatz 0xD01000-0xD02C05"},
      {"0xD00000-0xD02C04", "0xD00000-0xD02C04 l\xF6scht nicht den ganzen Datensatz"},
      {"D01000-D02FFF", "hat die Form 0xD01000-0xD02FFF, nicht \"D01000-D02FFF\""},
      {"0xD01000-0xD02FFF-", "hat die Form"},
  };
  Pc();
  pc.reset();
  const std::string good = ReadText(PcFolder() / "pc.json");
  for (const auto& bad : kBad) {
    SCOPED_TRACE(bad.range);
    std::ofstream(PcFolder() / "pc.json") << Replaced(good, "0xD01000-0xD02FFF", bad.range, true);
    try {
      pc.emplace(PcFolder());
      ADD_FAILURE() << "a card whose erase misses the record was taken";
    } catch (const SimPcError& e) {
      EXPECT_NE(std::string(e.what()).find(std::string("Karte 1: \"eraseClears\" ") + bad.german),
                std::string::npos)
          << e.what();
    }
  }
  std::ofstream(PcFolder() / "pc.json") << good;
  EXPECT_THROW(Pc().SetCardSettings(1, {0xD01001, 0xD02FFF}), std::invalid_argument);
  EXPECT_THROW(Pc().SetCardSettings(1, {0xD01000, 0xD10000}), std::invalid_argument);
  EXPECT_EQ(Pc().CardSettings(1), SimCardSettings{});
}

TEST_F(SimPcTest, BusyAtPowerUpAndFactoryDataFollowTheSettings) {
  Pc().SetCardSettings(0, {.busyAtPowerUp = true});
  Restart();
  EXPECT_EQ(pc->Card(0).Control(), kHctrBusy);
  pc->Card(0).SetControl(kHctrBootDone);
  pc->LosePower();
  Restart();
  EXPECT_EQ(pc->Card(0).Control(), kHctrBusy);
  EXPECT_EQ(pc->Card(1).Control(), 0u);

  // Cards of one model without factory data are the same byte for byte, whether
  // the setting is made or loaded.
  pc->AddCardLike(1, {2, 1, 0xFE800000});
  pc->Card(2).Flash().Preset(kFactoryDataStart + 4, std::vector<std::uint8_t>{'X', 'Y'});
  pc->SetCardSettings(2, {.factoryData = false});
  pc->AddCardLike(2, {2, 3, 0xFE900000});
  pc.reset();
  const std::string text = ReadText(PcFolder() / "pc.json");
  std::ofstream(PcFolder() / "pc.json")
      << Replaced(text, "\"factoryData\": true", "\"factoryData\": false", true);
  Restart();
  const auto& flash = pc->Card(1).Flash().AllBytes();
  EXPECT_TRUE(std::all_of(flash.begin() + (kFactoryDataStart - kFlashStart),
                          flash.begin() + (kFactoryDataStart - kFlashStart + kFactoryDataSize),
                          [](auto b) { return b == 0xFF; }));
  EXPECT_EQ(pc->Card(2).Flash().AllBytes(), flash);
  EXPECT_EQ(pc->Card(3).Flash().AllBytes(), flash);
  const std::string saved = ReadText(PcFolder() / "cards" / "card1.flash");
  EXPECT_TRUE(std::ranges::equal(std::vector<std::uint8_t>(saved.begin(), saved.end()), flash));
  EXPECT_NE(pc->Card(0).Flash().AllBytes()[kFactoryDataStart - kFlashStart], 0xFF);
}

TEST_F(SimPcTest, SecondProgramOnTheFolderIsRefusedUntilTheFirstEnds) {
  Pc();
  try {
    SimPc second(PcFolder());
    FAIL() << "two programs share one PC";
  } catch (const SimPcError& e) {
    EXPECT_NE(std::string(e.what()).find("wird schon von einem anderen Programm benutzt"),
              std::string::npos);
  }
  pc.reset();
  EXPECT_NO_THROW(SimPc second(PcFolder()));

  // A lock file that cannot be opened at all is not another program's.
  const auto elsewhere = PcFolder().parent_path() / "locked";
  fs::create_directories(elsewhere / "pc.lock");
  try {
    SimPc refused(elsewhere);
    FAIL() << "a PC without its lock";
  } catch (const SimPcError& e) {
    EXPECT_NE(std::string(e.what()).find("lässt sich nicht öffnen: pc.lock: "_cp),
              std::string::npos)
        << e.what();
  }
}

// --- service control manager ---

TEST_F(SimPcTest, ServiceManagerRegistersStartsStopsAndDeletes) {
  SimSystem& s = Pc().System();
  const std::string binary = Pc().ProgramDirectory() + "HWACCESS.SYS";
  EXPECT_EQ(OpenDevice(), kInvalidHandle);  // nothing runs yet
  EXPECT_EQ(s.GetLastError(), win::ERROR_FILE_NOT_FOUND);

  const Handle manager = s.OpenSCManager(win::SC_MANAGER_ALL_RIGHTS);
  ASSERT_NE(manager, 0u);
  EXPECT_EQ(s.OpenService(manager, "HWACCESS", win::SERVICE_ALL_ACCESS), 0u);
  EXPECT_EQ(s.GetLastError(), win_error::kServiceDoesNotExist);

  const Handle service = s.CreateService(manager, DriverService(binary));
  ASSERT_NE(service, 0u);
  EXPECT_EQ(s.CreateService(manager, DriverService(binary)), 0u);
  EXPECT_EQ(s.GetLastError(), win_error::kServiceExists);

  EXPECT_FALSE(s.ControlService(service, win::SERVICE_CONTROL_STOP));
  EXPECT_EQ(s.GetLastError(), win_error::kServiceNotActive);
  EXPECT_TRUE(s.StartService(service));
  EXPECT_FALSE(s.StartService(service));
  EXPECT_EQ(s.GetLastError(), win_error::kServiceAlreadyRunning);
  const Handle device = OpenDevice();
  EXPECT_NE(device, kInvalidHandle);
  EXPECT_TRUE(s.ControlService(service, win::SERVICE_CONTROL_INTERROGATE));

  // A stop that fails leaves the driver running.
  Pc().SetFailingStop(true);
  EXPECT_FALSE(s.ControlService(service, win::SERVICE_CONTROL_STOP));
  EXPECT_EQ(s.GetLastError(), win_error::kInvalidServiceControl);
  EXPECT_TRUE(s.FindService("HWACCESS")->running);
  Pc().SetFailingStop(false);
  EXPECT_TRUE(s.ControlService(service, win::SERVICE_CONTROL_STOP));
  EXPECT_FALSE(s.ControlService(service, win::SERVICE_CONTROL_INTERROGATE));
  EXPECT_EQ(OpenDevice(), kInvalidHandle);
  // The handle opened before the stop still reaches the driver.
  EXPECT_TRUE(Request(s, device, 1, 0xCF8, 8, 0).ok);
  EXPECT_TRUE(s.CloseHandle(device));
  EXPECT_FALSE(s.CloseHandle(device));
  EXPECT_EQ(s.GetLastError(), win_error::kInvalidHandle);

  // Deleting a running service waits for its stop.
  EXPECT_TRUE(s.StartService(service));
  EXPECT_TRUE(s.DeleteService(service));
  EXPECT_EQ(s.CreateService(manager, DriverService(binary)), 0u);
  EXPECT_EQ(s.GetLastError(), win_error::kServiceMarkedForDelete);
  EXPECT_TRUE(s.ControlService(service, win::SERVICE_CONTROL_STOP));
  EXPECT_EQ(s.FindService("HWACCESS"), nullptr);
  EXPECT_FALSE(s.StartService(service));
  EXPECT_EQ(s.GetLastError(), win_error::kServiceMarkedForDelete);

  EXPECT_TRUE(s.CloseServiceHandle(service));
  EXPECT_TRUE(s.CloseServiceHandle(manager));
  EXPECT_EQ(s.OpenServiceHandles(), 0u);
  EXPECT_FALSE(s.CloseServiceHandle(manager));
}

TEST_F(SimPcTest, DriverStartsOnlyFromAnExistingBinary) {
  SimSystem& s = Pc().System();
  Pc().SetDriverFilesPresent(false);
  const Handle manager = s.OpenSCManager(win::SC_MANAGER_ALL_RIGHTS);
  Handle service =
      s.CreateService(manager, DriverService("C:\\PROGRAMME\\FLASHUPDATE\\HWACCESS.SYS"));
  ASSERT_NE(service, 0u);
  EXPECT_FALSE(s.StartService(service));
  EXPECT_EQ(s.GetLastError(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(s.FindService("HWACCESS")->running);
  EXPECT_TRUE(s.DeleteService(service));
  EXPECT_EQ(s.FindService("HWACCESS"), nullptr);
  s.CloseServiceHandle(service);

  // The path is matched without regard to case, as drive C: names are.
  Pc().SetDriverFilesPresent(true);
  service = s.CreateService(manager, DriverService("C:\\PROGRAMME\\FLASHUPDATE\\HWACCESS.SYS"));
  EXPECT_TRUE(s.StartService(service));
  s.CloseServiceHandle(service);

  // Rights: a manager opened to connect only cannot register; a service opened
  // to interrogate only cannot be deleted.
  const Handle connect = s.OpenSCManager(win::SC_MANAGER_CONNECT);
  EXPECT_EQ(s.CreateService(connect, DriverService("C:\\X.SYS")), 0u);
  EXPECT_EQ(s.GetLastError(), win_error::kAccessDenied);
  const Handle weak = s.OpenService(connect, "HWACCESS", 0x80);
  EXPECT_FALSE(s.DeleteService(weak));
  EXPECT_EQ(s.GetLastError(), win_error::kAccessDenied);

  Pc().SetRefuseServiceManager(true);
  EXPECT_EQ(s.OpenSCManager(win::SC_MANAGER_ALL_RIGHTS), 0u);
  EXPECT_EQ(s.GetLastError(), win_error::kAccessDenied);
  Pc().SetRefuseServiceManager(false);
  Pc().SetPlatform(Platform::kWindows9x);
  EXPECT_EQ(s.OpenSCManager(win::SC_MANAGER_ALL_RIGHTS), 0u);
  EXPECT_EQ(s.GetLastError(), win_error::kCallNotImplemented);
}

// --- driver requests ---

TEST_F(SimPcTest, RequestsAnswerWithTheirByteCounts) {
  StartDriver();
  SimSystem& s = Pc().System();
  const Handle device = OpenDevice();
  ASSERT_NE(device, kInvalidHandle);

  Answer a = Request(s, device, 1, 0xCF8, 8, 0);
  EXPECT_TRUE(a.ok);
  EXPECT_EQ(a.returned, 0u);
  EXPECT_TRUE(s.PortsUsable(0xCFC));
  a = Request(s, device, 2, 0xCF8, 8, 0);
  EXPECT_TRUE(a.ok);
  EXPECT_EQ(a.returned, 0u);
  EXPECT_FALSE(s.PortsUsable(0xCF8));

  // Each card's window is mapped a window apart; other addresses answer 0.
  const Answer first = Request(s, device, 3, Pc().Place(0).window, 0xFFFF);
  const Answer second = Request(s, device, 3, Pc().Place(1).window, 0x10000);
  EXPECT_TRUE(first.ok && second.ok);
  EXPECT_EQ(first.returned, 4u);
  EXPECT_EQ(first.value, kFirstMappingAddress);
  EXPECT_EQ(second.value, kFirstMappingAddress + kWindowSize);
  for (const auto& [address, length] : {std::pair{0xFD000000u, 0xFFFFu},  // the graphics device
                                        std::pair{Pc().Place(0).window + 0x100, 0xFFFFu},
                                        std::pair{Pc().Place(0).window, 0x10001u}}) {
    a = Request(s, device, 3, address, length);
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.returned, 4u);
    EXPECT_EQ(a.value, 0u);
  }
  EXPECT_EQ(s.Mappings().size(), 2u);

  a = Request(s, device, 4, second.value, 0);
  EXPECT_EQ(a.returned, 4u);
  EXPECT_EQ(a.value, 1u);
  a = Request(s, device, 4, second.value, 0);  // released already
  EXPECT_TRUE(a.ok);
  EXPECT_EQ(a.value, 0u);

  // Faults on demand.
  Pc().SetRefuseMap(true);
  EXPECT_EQ(Request(s, device, 3, Pc().Place(1).window, 0xFFFF).value, 0u);
  Pc().SetRefuseMap(false);
  Pc().SetRefuseUnmap(true);
  EXPECT_EQ(Request(s, device, 4, first.value, 0).value, 0u);
  EXPECT_EQ(s.Mappings().size(), 1u);
  Pc().SetRefuseUnmap(false);

  // Malformed requests fail with an error and answer nothing.
  EXPECT_EQ(Request(s, device, 3, Pc().Place(1).window, 0xFFFF, 4, 0x9C402000).error,
            win_error::kInvalidFunction);
  EXPECT_EQ(Request(s, device, 3, Pc().Place(1).window, 0xFFFF, 0).error,
            win_error::kInsufficientBuffer);
  EXPECT_EQ(Request(s, device, 5, 0, 0).error, win_error::kInvalidParameter);
  std::array<std::uint8_t, 19> short_block{};
  std::array<std::uint8_t, 4> out{};
  std::uint32_t returned = 99;
  EXPECT_FALSE(s.DeviceIoControl(device, kDriverIoControlCode, short_block, out, returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(s.GetLastError(), win_error::kInvalidParameter);
  // The block must name the very buffer handed over, with its size.
  std::array<std::uint8_t, 20> block{3};
  block[16] = 4;
  EXPECT_FALSE(s.DeviceIoControl(device, kDriverIoControlCode, block, out, returned));
  EXPECT_EQ(s.GetLastError(), win_error::kNoAccess);
  block[16] = 2;
  EXPECT_FALSE(s.DeviceIoControl(device, kDriverIoControlCode, block, out, returned));
  EXPECT_EQ(s.GetLastError(), win_error::kInvalidParameter);
  EXPECT_EQ(s.Mappings().size(), 1u);

  EXPECT_TRUE(s.CloseHandle(device));
  EXPECT_EQ(Request(s, device, 1, 0xCF8, 8, 0).error, win_error::kInvalidHandle);
}

TEST_F(SimPcTest, MappedWindowCarriesRegisterAccessesUntilUnmapped) {
  StartDriver();
  SimSystem& s = Pc().System();
  const Handle device = OpenDevice();
  const LinearAddress window = Request(s, device, 3, Pc().Place(1).window, 0xFFFF).value;
  ASSERT_NE(window, 0u);
  SimRegisterBus& bus = Pc().Bus();

  bus.Write32(window + kHctrOffset, kHctrBootDone | 2u << 8);
  EXPECT_EQ(Pc().Card(1).Control(), kHctrBootDone | 2u << 8);
  EXPECT_EQ(Pc().Card(0).Control(), 0u);
  EXPECT_EQ(bus.Read32(window + kHctrOffset), kHctrBootDone | 2u << 8);
  EXPECT_EQ(bus.Counters().strayReads + bus.Counters().strayWrites, 0u);

  EXPECT_EQ(Request(s, device, 4, window, 0).value, 1u);
  EXPECT_EQ(bus.Read32(window + kHctrOffset), 0xFFFFFFFFu);
  EXPECT_EQ(bus.Counters().strayReads, 1u);

  // That read would have ended the program on a real PC: a machine fault, kept
  // in the folder past the end of this run.
  const std::vector<std::string> fault = {
      "register read at 0x40000010: HCTR of the window at 0x40000000 after its unmap"};
  ASSERT_EQ(Pc().MachineFaults().size(), 1u);
  EXPECT_EQ(Describe(Pc().MachineFaults()[0]), fault[0]);
  Restart();
  EXPECT_TRUE(pc->MachineFaults().empty());
  EXPECT_EQ(SimPc::RecordedMachineFaults(PcFolder()), fault);
  pc->ClearMachineFaults();
  EXPECT_TRUE(SimPc::RecordedMachineFaults(PcFolder()).empty());
}

// --- ports and PCI configuration space ---

TEST_F(SimPcTest, NtRefusesPortsOutsideAnEnabledRange) {
  StartDriver();
  SimPortIo& ports = Pc().Ports();
  EXPECT_EQ(ConfigRead(ports, 0, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(ports.Diagnostics().refusedAccesses, 2u);

  const Handle device = OpenDevice();
  ASSERT_TRUE(Request(Pc().System(), device, 1, 0xCF8, 8, 0).ok);
  ports.ResetDiagnostics();
  EXPECT_EQ(ConfigRead(ports, 0, 0, 0), 0x71908086u);
  EXPECT_EQ(ports.InDword(0xCF8), 0x80000000u);
  ports.InDword(0xCF4);  // just outside the range
  EXPECT_EQ(ports.Diagnostics().refusedAccesses, 1u);

  ASSERT_TRUE(Request(Pc().System(), device, 2, 0xCF8, 8, 0).ok);
  EXPECT_EQ(ConfigRead(ports, 0, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(ports.Diagnostics().refusedAccesses, 3u);

  // Windows 9x lets every program use the ports.
  Pc().SetPlatform(Platform::kWindows9x);
  ports.ResetDiagnostics();
  EXPECT_EQ(ConfigRead(ports, 0, 0, 0), 0x71908086u);
  EXPECT_EQ(ports.Diagnostics().refusedAccesses, 0u);

  // Each refused instruction would have ended the program on a real PC.
  const std::string refused = " outside the port ranges enabled for the process";
  const std::vector<std::string> faults = {
      "port write at 0xCF8: PCI configuration address" + refused,
      "port read at 0xCFC: PCI configuration data" + refused,
      "port read at 0xCF4: I/O port" + refused,
      "port write at 0xCF8: PCI configuration address" + refused,
      "port read at 0xCFC: PCI configuration data" + refused};
  std::vector<std::string> made;
  for (const MachineFault& fault : Pc().MachineFaults()) {
    made.push_back(Describe(fault));
  }
  EXPECT_EQ(made, faults);
  EXPECT_EQ(SimPc::RecordedMachineFaults(PcFolder()), faults);
  Pc().ClearMachineFaults();
}

TEST_F(SimPcTest, ConfigurationSpaceShowsTheDefaultDevices) {
  Pc().SetPlatform(Platform::kWindows9x);
  SimPortIo& ports = Pc().Ports();
  std::vector<std::array<unsigned, 2>> present;
  std::vector<std::uint32_t> bars;
  for (unsigned bus = 0; bus < 3; ++bus) {
    for (unsigned device = 0; device < 32; ++device) {
      const std::uint32_t id = ConfigRead(ports, bus, device, 0);
      if (id == 0xFFFFFFFF) {
        continue;
      }
      present.push_back({bus, device});
      if (id == 0x18011057) {
        bars.push_back(ConfigRead(ports, bus, device, 4));
        // A scan reads all 64 registers; none of a card stops it early.
        for (unsigned reg = 0; reg < 64; ++reg) {
          EXPECT_NE(ConfigRead(ports, bus, device, reg), 0xFFFFFFFFu) << reg;
        }
        EXPECT_EQ(ConfigRead(ports, bus, device, 0, 1), 0xFFFFFFFFu);  // function 1
      }
    }
  }
  ASSERT_EQ(present.size(), 4u);
  EXPECT_EQ(present[0], (std::array<unsigned, 2>{0, 0}));  // the host bridge
  EXPECT_EQ(ConfigRead(ports, 0, 0, 2) >> 8, 0x060000u);
  EXPECT_EQ(ConfigRead(ports, present[1][0], present[1][1], 2) >> 8, 0x030000u);  // graphics
  EXPECT_EQ(bars, (std::vector<std::uint32_t>{Pc().Place(0).window, Pc().Place(1).window}));
  EXPECT_EQ(present[2], (std::array<unsigned, 2>{Pc().Place(0).bus, Pc().Place(0).device}));
  EXPECT_EQ(present[3], (std::array<unsigned, 2>{Pc().Place(1).bus, Pc().Place(1).device}));

  // Without the enable bit nobody answers.
  ports.OutDword(0xCF8, Pc().Place(0).device << 11);
  EXPECT_EQ(ports.InDword(0xCFC), 0xFFFFFFFFu);
}

// --- Windows 9x ---

TEST_F(SimPcTest, VxdLoadsFromAShortPathOrItsCopyAtTheRoot) {
  SimPc& p = Pc();
  p.SetPlatform(Platform::kWindows9x);
  SimSystem& s = p.System();
  EXPECT_EQ(OpenDevice(), kInvalidHandle);

  // "Programme" and "FlashUpdate" are long names: the loader cannot take them.
  EXPECT_EQ(
      s.CreateFile(Device(kProgramVxd), 0, 0, win::CREATE_NEW, win::FILE_FLAG_DELETE_ON_CLOSE),
      kInvalidHandle);
  EXPECT_EQ(s.GetLastError(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(s.CopyFile(kProgramVxd, kRootVxd, false));
  EXPECT_EQ(p.Drive().Contents(kRootVxd), p.Drive().Contents(kProgramVxd));
  EXPECT_FALSE(s.CopyFile(kProgramVxd, kRootVxd, true));
  EXPECT_EQ(s.GetLastError(), win_error::kFileExists);
  const Handle vxd =
      s.CreateFile(Device(kRootVxd), 0, 0, win::CREATE_NEW, win::FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_NE(vxd, kInvalidHandle);
  EXPECT_TRUE(s.VxdLoaded());
  EXPECT_EQ(Request(s, vxd, 3, p.Place(0).window, 0xFFFF).value, kFirstMappingAddress);
  EXPECT_TRUE(s.CloseHandle(vxd));
  EXPECT_FALSE(s.VxdLoaded());
  EXPECT_TRUE(p.Drive().Exists(kRootVxd));  // unloading leaves the file

  // From a program directory of short names it loads in place.
  p.SetProgramPath("C:\\FLASH\\FLASHUPD.EXE");
  EXPECT_EQ(s.GetModuleFileName(), "C:\\FLASH\\FLASHUPD.EXE");
  const Handle direct = s.CreateFile(Device("C:\\FLASH\\HWAccess.VxD"), 0, 0, win::CREATE_NEW,
                                     win::FILE_FLAG_DELETE_ON_CLOSE);
  EXPECT_NE(direct, kInvalidHandle);
  s.CloseHandle(direct);

  // Without the driver file neither road works.
  p.SetDriverFilesPresent(false);
  EXPECT_FALSE(s.CopyFile("C:\\FLASH\\HWAccess.VxD", "C:\\FLASH\\COPY.VXD", false));
  EXPECT_EQ(s.GetLastError(), win::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(s.CreateFile(Device("C:\\FLASH\\HWAccess.VxD"), 0, 0, win::CREATE_NEW,
                         win::FILE_FLAG_DELETE_ON_CLOSE),
            kInvalidHandle);
  EXPECT_EQ(s.Diagnostics().vxdLoads, 2u);
}

// --- dates ---

TEST_F(SimPcTest, DateFaults) {
  SimPc& p = Pc();
  p.SetNow({2003, 12, 31, 8, 0, 0, 0});
  p.SetJustBeforeMidnight();
  EXPECT_EQ(p.Clock().ShortDate(), "31.12.2003");
  p.Clock().Sleep(std::chrono::seconds(1));
  EXPECT_EQ(p.Clock().ShortDate(), "01.01.2004");
  p.SetShortDateFormat("M/d/yy");
  EXPECT_EQ(p.Clock().ShortDate(), "1/1/04");
  EXPECT_THROW(p.SetShortDateFormat("ddd"), std::invalid_argument);
}

#ifndef _WIN32
// The folder follows the XDG rules: an absolute XDG_STATE_HOME, else the home's.
TEST(DefaultPcFolder, FollowsTheStateHome) {
  const char* saved_state = std::getenv("XDG_STATE_HOME");
  const std::string state = saved_state != nullptr ? saved_state : "";
  ::setenv("XDG_STATE_HOME", "/srv/state", 1);
  EXPECT_EQ(DefaultPcFolder(), fs::path("/srv/state/flashupdate/pc"));
  ::setenv("XDG_STATE_HOME", "relative", 1);
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != 0) {
    EXPECT_EQ(DefaultPcFolder(), fs::path(home) / ".local/state/flashupdate/pc");
  }
  if (saved_state != nullptr) {
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
  } else {
    ::unsetenv("XDG_STATE_HOME");
  }
}
#endif

}  // namespace
}  // namespace fu::sim
