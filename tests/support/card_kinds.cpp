#include "support/card_kinds.h"

#include <vector>

#include "sim/shipped_files.h"

namespace fu::test {

namespace {

CardKind Setting(std::string name, std::function<void(sim::SimCardSettings&)> change) {
  return {std::move(name), [change](sim::SimPc& pc) {
            for (std::size_t i = 0; i < pc.CardCount(); ++i) {
              sim::SimCardSettings settings = pc.CardSettings(i);
              change(settings);
              pc.SetCardSettings(i, settings);
            }
          }};
}

CardKind Erasing(std::uint32_t from, std::uint32_t to, std::string name) {
  return Setting(std::move(name), [from, to](sim::SimCardSettings& s) {
    s.eraseFrom = from;
    s.eraseTo = to;
  });
}

}  // namespace

const std::vector<CardKind>& CardKinds() {
  static const std::vector<CardKind> kinds = {
      {"default card", [](sim::SimPc&) {}},
      Erasing(0xD01000, 0xD02C05, "erase keeps all but the record"),
      Erasing(0xD00000, 0xD03FFF, "erase clears 16 KiB"),
      Erasing(0xD00000, 0xD0FFFF, "erase clears the whole area"),
      Setting("busy flag set at power-up", [](auto& s) { s.busyAtPowerUp = true; }),
      Setting("keeps unread words", [](auto& s) { s.keepsUnreadWords = true; }),
      Setting("no factory data", [](auto& s) { s.factoryData = false; }),
      {"DSP program file ends with 0x1A",
       [](sim::SimPc& pc) {
         const auto shipped = sim::ShippedDspProgram();
         std::vector<std::uint8_t> file(shipped.begin(), shipped.end());
         for (const char c : std::string_view("\x1A"
                                              "kein Programm\r\n")) {
           file.push_back(static_cast<std::uint8_t>(c));
         }
         pc.Drive().Install(pc.ProgramDirectory() + std::string(sim::kDspProgramFileName), file);
       }},
  };
  return kinds;
}

}  // namespace fu::test
