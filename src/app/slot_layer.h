#pragma once
// Opening and closing card slots for the main window and its actions: nested
// opens are counted, the card is mapped on the first and unmapped with the last.

#include <array>
#include <cstdint>
#include <string_view>

#include "dsplink/dsp_loader.h"
#include "dsplink/host_interface.h"
#include "hwaccess/card_access.h"

namespace fu {

class SlotLayer {
 public:
  SlotLayer(CardAccess& cards, HostInterface& host, DspLoader& loader)
      : cards_(cards), host_(host), loader_(loader) {}

  // 1 opened, 0 failed.
  int OpenSlot(CardSlot slot);
  // 1 or 0 for the last open (the card unmapped or not), the remaining count for
  // an inner one, 0 when the slot was not open.
  int CloseSlot(CardSlot slot);
  // 1, or ERROR_WORD when the card is busy.
  std::uint32_t SelectCard(CardSlot slot);
  // Boots the DSP program under the busy flag: the words sent, -1 when the load
  // failed, ERROR_WORD when the card was busy.
  std::int64_t LoadCardProgram(CardSlot slot, std::string_view directory,
                               std::string_view file_name);

  std::uint32_t WindowHandle(CardSlot slot) const { return Entry(handles_, slot); }
  int OpenCount(CardSlot slot) const { return static_cast<int>(Entry(counts_, slot)); }
  std::uint32_t CurrentHandle() const { return current_; }

 private:
  static bool InRange(CardSlot slot) { return slot >= 0 && slot < kSlotCount; }
  template <typename T>
  static T Entry(const std::array<T, kSlotCount>& table, CardSlot slot) {
    return InRange(slot) ? table[static_cast<std::size_t>(slot)] : T{};
  }

  CardAccess& cards_;
  HostInterface& host_;
  DspLoader& loader_;
  std::array<std::uint32_t, kSlotCount> handles_{};
  std::array<std::int32_t, kSlotCount> counts_{};
  std::uint32_t current_ = 0;
};

}  // namespace fu
