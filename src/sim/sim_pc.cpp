#include "sim/sim_pc.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <system_error>

#include "base/cp1252.h"
#include "base/errors.h"
#include "base/hex_text.h"
#include "sim/default_cards.h"
#include "sim/shipped_files.h"
#include "sim/sim_card_settings.h"
#include "sim/sim_error_text.h"

namespace fu::sim {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr int kFormat = 1;
constexpr std::string_view kDescriptionFile = "pc.json";
constexpr std::string_view kLockFile = "pc.lock";
constexpr std::string_view kDriveFolder = "C";
constexpr std::string_view kCardsFolder = "cards";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::string_view kMachineFaultLog = "machine-faults.log";
constexpr std::string_view kDefaultPicture = "dd.MM.yyyy";

// --- texts ---

std::string InUse(const fs::path& folder) {
  std::string text = "Der simulierte PC in ";
  text += FolderText(folder);
  text += " wird schon von einem anderen Programm benutzt.";
  return text;
}

std::string NotAPc(const fs::path& folder) {
  std::string text = "Der Ordner ";
  text += FolderText(folder);
  text += " enthält keinen simulierten PC (pc.json fehlt) und ist nicht leer."_cp;
  return text;
}

// The details below are code page 1252 text, like the messages around them.
std::string BadDescription(const fs::path& file, std::string_view detail) {
  std::string text = "Die Beschreibung des simulierten PCs in ";
  text += FolderText(file);
  text += " ist fehlerhaft: ";
  text += detail;
  return text;
}

std::string CannotSave(const fs::path& folder, std::string_view detail) {
  std::string text = "Der simulierte PC in ";
  text += FolderText(folder);
  text += " kann nicht gespeichert werden: ";
  text += detail;
  return text;
}

std::string CannotOpen(const fs::path& folder, std::string_view detail) {
  std::string text = "Der simulierte PC in ";
  text += FolderText(folder);
  text += " lässt sich nicht öffnen: "_cp;
  text += detail;
  return text;
}

// --- files ---

// Replaces the file in one step: a program that dies meanwhile leaves the old
// file or the new one, never a part.
void WriteAtomically(const fs::path& file, std::span<const std::uint8_t> bytes) {
  fs::path temp = file;
  temp += kTempSuffix;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      throw FolderError("die Datei " + FolderText(temp) +
                        std::string(" lässt sich nicht schreiben"_cp));
    }
  }
  fs::rename(temp, file);
}

void WriteAtomically(const fs::path& file, std::string_view text) {
  WriteAtomically(file, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::vector<std::uint8_t> ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw FolderError("die Datei " + FolderText(file) + std::string(" lässt sich nicht lesen"_cp));
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// --- description values ---

std::string Hex32(std::uint32_t value) {
  return "0x" + HexText(value);
}

// A number written as such or as a "0x..." text.
std::uint32_t ReadU32(const json& value) {
  if (value.is_number_unsigned()) {
    return value.get<std::uint32_t>();
  }
  const std::string text = value.get<std::string>();
  std::size_t used = 0;
  unsigned long long number = 0;
  try {
    number = std::stoull(text, &used, 0);
  } catch (const std::logic_error&) {
    used = 0;  // no number, or one too large for stoull
  }
  if (used == 0 || used != text.size() || number > 0xFFFFFFFFull) {
    throw FolderError(Quoted(text) + " ist keine 32-Bit-Zahl");
  }
  return static_cast<std::uint32_t>(number);
}

std::uint8_t ReadSmall(const json& value, unsigned limit, std::string_view what) {
  const auto number = value.get<unsigned>();
  if (number > limit) {
    throw FolderError("\"" + std::string(what) + "\" ist " + std::to_string(number) +
                      ", erlaubt sind 0 bis " + std::to_string(limit));
  }
  return static_cast<std::uint8_t>(number);
}

std::string PlatformText(Platform platform) {
  switch (platform) {
    case Platform::kNt:
      return "NT";
    case Platform::kWindows9x:
      return "9x";
  }
  return "NT";
}

Platform ReadPlatform(const json& value) {
  const std::string text = value.get<std::string>();
  if (text == "NT") {
    return Platform::kNt;
  }
  if (text == "9x") {
    return Platform::kWindows9x;
  }
  throw FolderError("\"platform\" ist \"NT\" oder \"9x\", nicht " + Quoted(text));
}

std::string NowText(const LocalDateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02u:%02u:%02u.%03u", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return text;
}

LocalDateTime ReadNow(const json& value) {
  const std::string text = value.get<std::string>();
  LocalDateTime t;
  char rest = 0;
  if (std::sscanf(text.c_str(), "%d-%u-%uT%u:%u:%u.%u%c", &t.year, &t.month, &t.day, &t.hour,
                  &t.minute, &t.second, &t.millisecond, &rest) != 7) {
    throw FolderError("\"now\" hat die Form JJJJ-MM-TTThh:mm:ss.fff, nicht " + Quoted(text));
  }
  try {
    VirtualClock check(t);  // throws for a date or time that does not exist
  } catch (const std::invalid_argument&) {
    throw FolderError("\"now\": den Zeitpunkt " + Quoted(text) + " gibt es nicht");
  }
  return t;
}

constexpr std::pair<CommandKind, std::string_view> kCommandKinds[] = {
    {CommandKind::kRead, "read"},
    {CommandKind::kProgram, "program"},
    {CommandKind::kErase, "erase"},
    {CommandKind::kUnknown, "unknown"},
};
constexpr std::pair<FaultAction, std::string_view> kFaultActions[] = {
    {FaultAction::kFail, "fail"},   {FaultAction::kLie, "lie"},
    {FaultAction::kStop, "stop"},   {FaultAction::kPowerCut, "powerCut"},
    {FaultAction::kSpill, "spill"}, {FaultAction::kLate, "late"},
    {FaultAction::kStray, "stray"},
};

template <typename Enum, std::size_t N>
std::string NameOf(const std::pair<Enum, std::string_view> (&names)[N], Enum value) {
  for (const auto& [e, name] : names) {
    if (e == value) {
      return std::string(name);
    }
  }
  return "?";
}

template <typename Enum, std::size_t N>
Enum Named(const std::pair<Enum, std::string_view> (&names)[N], const json& value) {
  const std::string text = value.get<std::string>();
  for (const auto& [e, name] : names) {
    if (name == text) {
      return e;
    }
  }
  throw FolderError("unbekannter Name " + Quoted(text));
}

json TimingJson(const SimCardTiming& t) {
  return {{"eraseReads", t.eraseReads},
          {"programReads", t.programReads},
          {"programReadsPerByte", t.programReadsPerByte},
          {"resetMilliseconds", t.resetMilliseconds},
          {"startMilliseconds", t.startMilliseconds}};
}

SimCardTiming ReadTiming(const json& value) {
  SimCardTiming t;
  t.eraseReads = value.value("eraseReads", t.eraseReads);
  t.programReads = value.value("programReads", t.programReads);
  t.programReadsPerByte = value.value("programReadsPerByte", t.programReadsPerByte);
  t.resetMilliseconds = value.value("resetMilliseconds", t.resetMilliseconds);
  t.startMilliseconds = value.value("startMilliseconds", t.startMilliseconds);
  return t;
}

json FaultsJson(const SimCardFaults& f) {
  json commands = json::array();
  for (const CommandFault& c : f.commands) {
    commands.push_back({{"kind", NameOf(kCommandKinds, c.kind)},
                        {"nth", c.nth},
                        {"action", NameOf(kFaultActions, c.action)},
                        {"amount", c.amount}});
  }
  return {{"takesNoWords", f.takesNoWords}, {"commands", commands}};
}

SimCardFaults ReadFaults(const json& value) {
  SimCardFaults f;
  f.takesNoWords = value.value("takesNoWords", false);
  for (const json& c : value.value("commands", json::array())) {
    f.commands.push_back(CommandFault{Named(kCommandKinds, c.at("kind")), c.value("nth", 1u),
                                      Named(kFaultActions, c.at("action")), c.value("amount", 0u),
                                      0});
  }
  return f;
}

// A card's entry: its place, timing, faults and settings.
json CardJson(const CardPlace& place, const SimCardTiming& timing, const SimCardFaults& faults,
              const SimCardSettings& settings) {
  return {{"bus", place.bus},
          {"device", place.device},
          {"window", Hex32(place.window)},
          {"timing", TimingJson(timing)},
          {"faults", FaultsJson(faults)},
          {"eraseClears", EraseClearsText(settings)},
          {"busyAtPowerUp", settings.busyAtPowerUp},
          {"keepsUnreadWords", settings.keepsUnreadWords},
          {"factoryData", settings.factoryData}};
}

// A missing key keeps the default: the card as it was before the key existed.
SimCardSettings ReadSettings(const json& card, std::size_t index) {
  const std::string who = "Karte " + std::to_string(index) + ": ";
  SimCardSettings s;
  if (card.contains("eraseClears")) {
    const std::string text = card.at("eraseClears").get<std::string>();
    if (!ReadEraseClears(text, s)) {
      throw FolderError(who + "\"eraseClears\" hat die Form 0xD01000-0xD02FFF, nicht " +
                        Quoted(text));
    }
  }
  s.busyAtPowerUp = card.value("busyAtPowerUp", s.busyAtPowerUp);
  s.keepsUnreadWords = card.value("keepsUnreadWords", s.keepsUnreadWords);
  s.factoryData = card.value("factoryData", s.factoryData);
  if (const auto problem = SettingsProblem(s)) {
    throw FolderError(who + *problem);
  }
  return s;
}

json ServiceJson(const ServiceEntry& s) {
  return {{"name", s.name},
          {"displayName", s.displayName},
          {"type", s.serviceType},
          {"startType", s.startType},
          {"errorControl", s.errorControl},
          {"binaryPath", Cp1252ToUtf8(s.binaryPath)},
          {"running", s.running},
          {"deletePending", s.deletePending}};
}

ServiceEntry ReadService(const json& value) {
  return ServiceEntry{value.at("name").get<std::string>(),
                      value.value("displayName", std::string()),
                      value.value("type", 1u),
                      value.value("startType", 2u),
                      value.value("errorControl", 1u),
                      Utf8ToCp1252(value.at("binaryPath").get<std::string>()),
                      value.value("running", false),
                      value.value("deletePending", false)};
}

json DeviceJson(const PciDevice& d) {
  char vendor[7];
  char device[7];
  char class_code[9];
  std::snprintf(vendor, sizeof vendor, "0x%04X", static_cast<unsigned>(d.VendorId()));
  std::snprintf(device, sizeof device, "0x%04X", static_cast<unsigned>(d.DeviceId()));
  std::snprintf(class_code, sizeof class_code, "0x%06X", static_cast<unsigned>(d.ClassCode()));
  return {{"bus", d.bus},       {"device", d.device},  {"vendorId", vendor},
          {"deviceId", device}, {"class", class_code}, {"bar0", Hex32(d.Bar0())}};
}

PciDevice ReadDevice(const json& value) {
  return MakePciDevice(ReadSmall(value.at("bus"), 255, "bus"),
                       ReadSmall(value.at("device"), 31, "device"),
                       static_cast<std::uint16_t>(ReadU32(value.at("vendorId"))),
                       static_cast<std::uint16_t>(ReadU32(value.at("deviceId"))),
                       ReadU32(value.at("class")), ReadU32(value.value("bar0", json(0u))));
}

// The windows of the default cards; 64 KiB aligned, as a BIOS places them.
constexpr std::uint32_t kDefaultWindow0 = 0xFEBF0000;
constexpr std::uint32_t kDefaultWindow1 = 0xFEAF0000;

}  // namespace

// --- the clock ---

PcClock::PcClock(ClockKind kind, const LocalDateTime& now, std::string_view picture)
    : picture_(picture) {
  switch (kind) {
    case ClockKind::kVirtual:
      virtual_.emplace(now, picture);
      break;
    case ClockKind::kSystem:
      system_.emplace(picture);
      break;
  }
}

void PcClock::Sleep(std::chrono::milliseconds duration) {
  if (virtual_) {
    virtual_->Sleep(duration);
  } else {
    system_->Sleep(duration);
  }
}

std::chrono::milliseconds PcClock::Uptime() const {
  return virtual_ ? virtual_->Uptime() : system_->Uptime();
}

std::string PcClock::ShortDate() {
  return virtual_ ? virtual_->ShortDate() : system_->ShortDate();
}

std::string PcClock::DateAndTime() {
  return virtual_ ? virtual_->DateAndTime() : system_->DateAndTime();
}

void PcClock::SetPicture(std::string_view picture) {
  if (virtual_) {
    virtual_->SetShortDatePicture(picture);
  } else {
    system_.emplace(picture);
  }
  picture_ = picture;
}

// --- the PC ---

SimPc::SimPc(const fs::path& folder, ClockKind clock) : folder_(folder), clockKind_(clock) {
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (ec) {
    throw SimPcError(CannotSave(folder_, SystemErrorText(ec)));
  }
  const fs::path lock_file = folder_ / kLockFile;
  const bool had_lock_file = fs::exists(lock_file, ec);
  lock_ = std::make_unique<FolderLock>(lock_file);
  if (!lock_->Held()) {
    throw SimPcError(lock_->OpenError()
                         ? CannotOpen(folder_, "pc.lock: " + SystemErrorText(lock_->OpenError()))
                         : InUse(folder_));
  }
  // A folder that is refused keeps nothing of ours.
  const auto refuse = [&](const std::string& text) {
    lock_.reset();
    if (!had_lock_file) {
      fs::remove(lock_file, ec);
    }
    throw SimPcError(text);
  };
  const bool described = fs::exists(folder_ / kDescriptionFile, ec);
  if (ec) {
    refuse(CannotOpen(folder_, SystemErrorText(ec)));
  }
  if (!described) {
    bool unfinished = false;
    try {
      unfinished = HoldsOnlyUnfinishedCreation();
    } catch (const fs::filesystem_error& e) {
      refuse(CannotOpen(folder_, ExceptionText(e)));
    }
    if (!unfinished) {
      refuse(NotAPc(folder_));
    }
    CreateDefault();
  }
  Load();
}

SimPc::~SimPc() {
  for (auto& card : cards_) {
    card->card.SetStateChangedHandler({});
  }
  system_->SetServicesChangedHandler({});
}

bool SimPc::HoldsOnlyUnfinishedCreation() const {
  for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
    const fs::path name = entry.path().filename();
    const bool ours = name == kLockFile || name == kDriveFolder || name == kCardsFolder ||
                      name.string().ends_with(kTempSuffix);
    if (!ours) {
      return false;
    }
  }
  return true;
}

// Lays the default PC into the folder; pc.json comes last, so a creation that
// dies half-way is recognised as unfinished and started again.
void SimPc::CreateDefault() {
  try {
    fs::remove_all(folder_ / kDriveFolder);
    fs::remove_all(folder_ / kCardsFolder);
    fs::create_directories(folder_ / kCardsFolder);
    SimDrive drive(folder_ / kDriveFolder);
    const std::string dir = "C:\\Programme\\FlashUpdate\\";
    drive.Install(dir + std::string(kDspProgramFileName), ShippedDspProgram());
    drive.Install(dir + std::string(kDriverFileNt), DriverFileNtContents());
    drive.Install(dir + std::string(kDriverFile9x), DriverFile9xContents());

    const SimFlash::Bytes flashes[] = {FlashWithRecord(DefaultRecordV12()),
                                       FlashWithRecord(DefaultRecordV13())};
    for (std::size_t i = 0; i < 2; ++i) {
      WriteAtomically(CardFile(i, ".flash"), flashes[i]);
      WriteAtomically(CardFile(i, ".json"), json{{"hctr", Hex32(0)}}.dump(2) + "\n");
    }

    const json description = {
        {"format", kFormat},
        {"platform", PlatformText(Platform::kNt)},
        {"programPath", std::string(kDefaultProgramPath)},
        {"shortDateFormat", std::string(kDefaultPicture)},
        {"now", NowText(LocalDateTime{})},
        {"drive", {{"readOnly", false}, {"freeSpace", nullptr}}},
        {"driver",
         {{"refuseServiceManager", false},
          {"refuseMap", false},
          {"refuseUnmap", false},
          {"failingStop", false}}},
        {"pci",
         {DeviceJson(MakePciDevice(0, 0, 0x8086, 0x7190, 0x060000, 0xE0000008)),
          DeviceJson(MakePciDevice(0, 2, 0x10DE, 0x0110, 0x030000, 0xFD000000))}},
        {"cards",
         {CardJson({0, 9, kDefaultWindow0}, {}, {}, {}),
          CardJson({1, 4, kDefaultWindow1}, {}, {}, {})}},
        {"services", json::array()},
    };
    WriteAtomically(folder_ / kDescriptionFile, description.dump(2) + "\n");
  } catch (const SimPcError&) {
    throw;
  } catch (const std::exception& e) {
    throw SimPcError(CannotSave(folder_, ExceptionText(e)));
  }
}

void SimPc::Load() {
  const fs::path file = folder_ / kDescriptionFile;
  try {
    const std::vector<std::uint8_t> bytes = ReadWhole(file);
    const json d = json::parse(bytes.begin(), bytes.end());
    if (d.at("format").get<int>() != kFormat) {
      throw FolderError("\"format\" ist nicht " + std::to_string(kFormat));
    }
    drive_ = std::make_unique<SimDrive>(folder_ / kDriveFolder);
    system_ = std::make_unique<SimSystem>(*drive_, bus_);
    ports_ = std::make_unique<SimPortIo>(*system_);

    system_->SetPlatform(ReadPlatform(d.at("platform")));
    system_->SetProgramPath(Utf8ToCp1252(d.at("programPath").get<std::string>()));
    storedNow_ = d.contains("now") ? ReadNow(d.at("now")) : LocalDateTime{};
    const std::string picture = d.at("shortDateFormat").get<std::string>();
    try {
      clock_ = std::make_unique<PcClock>(clockKind_, storedNow_, picture);
    } catch (const std::invalid_argument&) {
      throw FolderError("\"shortDateFormat\": das Datumsformat " + Quoted(picture) +
                        std::string(" wird nicht unterstützt"_cp));
    }

    const json drive = d.value("drive", json::object());
    drive_->SetReadOnly(drive.value("readOnly", false));
    if (drive.contains("freeSpace") && !drive.at("freeSpace").is_null()) {
      drive_->SetFreeSpace(drive.at("freeSpace").get<std::uint64_t>());
    }

    const json driver = d.value("driver", json::object());
    DriverFaults& faults = system_->Faults();
    faults.refuseServiceManager = driver.value("refuseServiceManager", false);
    faults.refuseMap = driver.value("refuseMap", false);
    faults.refusePorts = driver.value("refusePorts", false);
    faults.refuseUnmap = driver.value("refuseUnmap", false);
    faults.failingStop = driver.value("failingStop", false);

    for (const json& device : d.value("pci", json::array())) {
      ports_->AddDevice(ReadDevice(device));
    }
    for (const json& c : d.at("cards")) {
      const SimCardSettings settings = ReadSettings(c, cards_.size());
      AddCard(CardPlace{ReadSmall(c.at("bus"), 255, "bus"), ReadSmall(c.at("device"), 31, "device"),
                        ReadU32(c.at("window"))});
      SimCard& card = cards_.back()->card;
      card.Timing() = ReadTiming(c.value("timing", json::object()));
      card.Faults() = ReadFaults(c.value("faults", json::object()));
      PutSettings(cards_.size() - 1, settings);
    }

    std::vector<ServiceEntry> services;
    for (const json& s : d.value("services", json::array())) {
      services.push_back(ReadService(s));
    }
    system_->RestoreServices(std::move(services));
  } catch (const SimPcError&) {
    throw;
  } catch (const std::exception& e) {
    throw SimPcError(BadDescription(file, ExceptionText(e)));
  }
  system_->SetServicesChangedHandler([this] { SaveDescriptionQuietly(); });
  const auto record = [this](const MachineFault& fault) { RecordMachineFault(fault); };
  bus_.SetMachineFaultHandler(record);
  ports_->SetMachineFaultHandler(record);
}

void SimPc::AddCard(const CardPlace& place) {
  const std::size_t index = cards_.size();
  auto pc_card = std::make_unique<PcCard>(place, *clock_);

  const fs::path flash_file = CardFile(index, ".flash");
  std::vector<std::uint8_t> flash;
  try {
    flash = ReadWhole(flash_file);
  } catch (const std::exception&) {
    throw FolderError("Karte " + std::to_string(index) + ": die Flash-Datei " +
                      FolderText(flash_file) + " fehlt");
  }
  if (flash.size() != kFlashSize) {
    throw FolderError("Karte " + std::to_string(index) + ": die Flash-Datei " +
                      FolderText(flash_file) + " hat " + std::to_string(flash.size()) +
                      " Bytes statt " + std::to_string(kFlashSize));
  }
  std::ranges::copy(flash, pc_card->card.Flash().AllBytes().begin());
  pc_card->savedFlash = std::move(flash);

  const fs::path flags_file = CardFile(index, ".json");
  const std::vector<std::uint8_t> flags = ReadWhole(flags_file);
  std::uint32_t control = 0;
  try {
    control = ReadU32(json::parse(flags.begin(), flags.end()).at("hctr"));
  } catch (const json::exception& e) {
    throw FolderError("Karte " + std::to_string(index) + ": " + FolderText(flags_file) + ": " +
                      ExceptionText(e));
  }
  pc_card->card.SetControl(control);
  pc_card->savedControl = control;

  ports_->AddDevice(MakeCardDevice(place.bus, place.device, place.window));
  system_->AttachCardWindow(place.window, pc_card->card);
  pc_card->card.SetStateChangedHandler([this, index] { SaveCard(index); });
  cards_.push_back(std::move(pc_card));
}

void SimPc::AddCardLike(std::size_t template_index, const CardPlace& place) {
  const SimCard& model = Card(template_index);
  const std::size_t index = cards_.size();
  WriteAtomically(CardFile(index, ".flash"), model.Flash().AllBytes());
  WriteAtomically(CardFile(index, ".json"), json{{"hctr", Hex32(model.Control())}}.dump());
  AddCard(place);
  PutSettings(index, model.Settings());
  SaveDescription();
}

void SimPc::SwapCards(std::size_t a, std::size_t b) {
  SimCard& first = Card(a);
  SimCard& second = Card(b);
  std::swap(first.Flash().AllBytes(), second.Flash().AllBytes());
  const std::uint32_t control = first.Control();
  first.SetControl(second.Control());
  second.SetControl(control);
  std::swap(first.Timing(), second.Timing());
  std::swap(first.Faults(), second.Faults());
  std::swap(first.Settings(), second.Settings());
  Save();
}

fs::path SimPc::CardFile(std::size_t index, std::string_view extension) const {
  return folder_ / kCardsFolder / ("card" + std::to_string(index) + std::string(extension));
}

std::string SimPc::ProgramDirectory() const {
  const std::string& path = system_->ProgramPath();
  const auto cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string("C:\\") : path.substr(0, cut + 1);
}

// --- saving ---

void SimPc::SaveDescription() {
  json pci = json::array();
  for (const PciDevice& device : ports_->Devices()) {
    const bool is_card = std::ranges::any_of(cards_, [&device](const auto& c) {
      return c->place.bus == device.bus && c->place.device == device.device;
    });
    if (!is_card) {
      pci.push_back(DeviceJson(device));
    }
  }
  json cards = json::array();
  for (const auto& c : cards_) {
    cards.push_back(CardJson(c->place, c->card.Timing(), c->card.Faults(), c->card.Settings()));
  }
  json services = json::array();
  for (const ServiceEntry& s : system_->Services()) {
    services.push_back(ServiceJson(s));
  }
  const DriverFaults& faults = system_->Faults();
  const auto free_space = drive_->FreeSpace();
  VirtualClock* virtual_clock = clock_->Virtual();
  const json description = {
      {"format", kFormat},
      {"platform", PlatformText(system_->GetPlatform())},
      {"programPath", Cp1252ToUtf8(system_->ProgramPath())},
      {"shortDateFormat", clock_->Picture()},
      {"now", NowText(virtual_clock != nullptr ? virtual_clock->Now() : storedNow_)},
      {"drive",
       {{"readOnly", drive_->ReadOnly()},
        {"freeSpace", free_space ? json(*free_space) : json(nullptr)}}},
      {"driver",
       {{"refuseServiceManager", faults.refuseServiceManager},
        {"refuseMap", faults.refuseMap},
        {"refusePorts", faults.refusePorts},
        {"refuseUnmap", faults.refuseUnmap},
        {"failingStop", faults.failingStop}}},
      {"pci", pci},
      {"cards", cards},
      {"services", services},
  };
  WriteAtomically(folder_ / kDescriptionFile, description.dump(2) + "\n");
}

void SimPc::SaveDescriptionQuietly() {
  try {
    SaveDescription();
  } catch (const std::exception&) {
    ++saveFailures_;
  }
}

// Only what changed is written: a flag change does not rewrite the flash.
void SimPc::SaveCard(std::size_t index) {
  PcCard& c = *cards_.at(index);
  try {
    const SimFlash::Bytes& flash = c.card.Flash().AllBytes();
    if (!std::ranges::equal(flash, c.savedFlash)) {
      WriteAtomically(CardFile(index, ".flash"), flash);
      c.savedFlash.assign(flash.begin(), flash.end());
    }
    if (c.savedControl != c.card.Control()) {
      WriteAtomically(CardFile(index, ".json"),
                      json{{"hctr", Hex32(c.card.Control())}}.dump(2) + "\n");
      c.savedControl = c.card.Control();
    }
  } catch (const std::exception&) {
    ++saveFailures_;
  }
}

void SimPc::Save() {
  SaveDescriptionQuietly();
  for (std::size_t i = 0; i < cards_.size(); ++i) {
    SaveCard(i);
  }
}

// --- machine faults ---

void SimPc::RecordMachineFault(const MachineFault& fault) {
  machineFaults_.push_back(fault);
  std::ofstream log(folder_ / kMachineFaultLog, std::ios::binary | std::ios::app);
  log << Describe(fault) << '\n';
  log.close();
  if (!log) {
    ++saveFailures_;
  }
}

void SimPc::ClearMachineFaults() {
  machineFaults_.clear();
  std::error_code ec;
  fs::remove(folder_ / kMachineFaultLog, ec);
  if (ec) {
    ++saveFailures_;
  }
}

std::vector<std::string> SimPc::RecordedMachineFaults(const fs::path& folder) {
  std::vector<std::string> lines;
  std::ifstream log(folder / kMachineFaultLog, std::ios::binary);
  for (std::string line; std::getline(log, line);) {
    lines.push_back(std::move(line));
  }
  return lines;
}

void SimPc::LosePower() {
  drive_->LosePower();
  std::vector<ServiceEntry> services;
  for (ServiceEntry service : system_->Services()) {
    if (!service.deletePending) {
      service.running = false;
      services.push_back(std::move(service));
    }
  }
  system_->RestoreServices(std::move(services));
  for (auto& c : cards_) {
    c->card.SetControl(c->card.Settings().busyAtPowerUp ? kHctrBusy : 0);
  }
  Save();
}

// --- settings and faults ---

void SimPc::SetPlatform(Platform platform) {
  system_->SetPlatform(platform);
  SaveDescriptionQuietly();
}

void SimPc::SetProgramPath(std::string_view path) {
  system_->SetProgramPath(path);
  InstallProgramFiles(true, true);
  SaveDescriptionQuietly();
}

void SimPc::SetRefuseServiceManager(bool refuse) {
  system_->Faults().refuseServiceManager = refuse;
  SaveDescriptionQuietly();
}

void SimPc::SetRefusePorts(bool refuse) {
  system_->Faults().refusePorts = refuse;
  SaveDescriptionQuietly();
}

void SimPc::SetRefuseMap(bool refuse) {
  system_->Faults().refuseMap = refuse;
  SaveDescriptionQuietly();
}

void SimPc::SetRefuseUnmap(bool refuse) {
  system_->Faults().refuseUnmap = refuse;
  SaveDescriptionQuietly();
}

void SimPc::SetFailingStop(bool fail) {
  system_->Faults().failingStop = fail;
  SaveDescriptionQuietly();
}

// Puts the chosen program files into the program directory unless they are
// there already.
void SimPc::InstallProgramFiles(bool dsp, bool driver) {
  const std::string dir = ProgramDirectory();
  const auto install = [&](std::string_view name, std::span<const std::uint8_t> bytes) {
    const std::string path = dir + std::string(name);
    if (!drive_->Exists(path)) {
      drive_->Install(path, bytes);
    }
  };
  if (dsp) {
    install(kDspProgramFileName, ShippedDspProgram());
  }
  if (driver) {
    install(kDriverFileNt, DriverFileNtContents());
    install(kDriverFile9x, DriverFile9xContents());
  }
}

void SimPc::RemoveProgramFile(std::string_view name) {
  try {
    drive_->Uninstall(ProgramDirectory() + std::string(name));
  } catch (const FileError&) {
    ++saveFailures_;
  }
}

void SimPc::SetDriverFilesPresent(bool present) {
  if (present) {
    InstallProgramFiles(false, true);
  } else {
    RemoveProgramFile(kDriverFileNt);
    RemoveProgramFile(kDriverFile9x);
  }
}

void SimPc::SetDspProgramPresent(bool present) {
  if (present) {
    InstallProgramFiles(true, false);
  } else {
    RemoveProgramFile(kDspProgramFileName);
  }
}

void SimPc::SetDriveReadOnly(bool read_only) {
  drive_->SetReadOnly(read_only);
  SaveDescriptionQuietly();
}

void SimPc::SetDriveFreeSpace(std::optional<std::uint64_t> bytes) {
  drive_->SetFreeSpace(bytes);
  SaveDescriptionQuietly();
}

void SimPc::SetShortDateFormat(std::string_view picture) {
  clock_->SetPicture(picture);
  SaveDescriptionQuietly();
}

void SimPc::SetNow(const LocalDateTime& now) {
  if (VirtualClock* v = clock_->Virtual()) {
    v->Set(now);
  }
  storedNow_ = now;
  SaveDescriptionQuietly();
}

void SimPc::SetJustBeforeMidnight(std::chrono::milliseconds before) {
  LocalDateTime day = clock_->Virtual() != nullptr ? clock_->Virtual()->Now() : storedNow_;
  day.hour = day.minute = day.second = day.millisecond = 0;
  VirtualClock moved(day);
  moved.Advance(std::chrono::hours(24) - before);
  SetNow(moved.Now());
}

const SimCardSettings& SimPc::CardSettings(std::size_t card) const {
  return cards_.at(card)->card.Settings();
}

void SimPc::SetCardSettings(std::size_t card, const SimCardSettings& settings) {
  if (const auto problem = SettingsProblem(settings)) {
    throw std::invalid_argument(*problem);
  }
  SimCard& c = Card(card);
  if (settings.busyAtPowerUp && !c.Settings().busyAtPowerUp) {
    c.SetControl(c.Control() | kHctrBusy);  // as the card comes up when switched on
  }
  PutSettings(card, settings);
  SaveDescriptionQuietly();
}

// A card without factory data has none in its flash; the card is saved if that
// changed it.
void SimPc::PutSettings(std::size_t index, const SimCardSettings& settings) {
  SimCard& card = Card(index);
  card.Settings() = settings;
  if (!settings.factoryData) {
    RemoveFactoryData(card.Flash().AllBytes());
  }
  SaveCard(index);
}

void SimPc::SetBusyHeldByOther(std::size_t card, bool held) {
  SimCard& c = Card(card);
  c.SetControl(held ? c.Control() | kHctrBusy : c.Control() & ~kHctrBusy);
  SaveCard(card);
}

}  // namespace fu::sim
