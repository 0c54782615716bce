#pragma once
// The linear address of each card slot's mapped register window, one table per
// program. Card discovery fills and empties it; the host interface only reads it.

#include <array>

#include "platform/register_bus.h"

namespace fu {

// A card slot: 0 to 3, the card's place in the order the bus scan found it.
using CardSlot = int;
inline constexpr CardSlot kSlotCount = 4;

class WindowTable {
 public:
  // 0 for a slot outside 0..3 or without a window.
  LinearAddress Get(CardSlot slot) const;
  void Set(CardSlot slot, LinearAddress base);
  void Clear(CardSlot slot) { Set(slot, 0); }
  // True when the slot has a window: its entry is neither 0 nor all ones (the
  // value a failed mapping leaves).
  bool HasWindow(CardSlot slot) const;

 private:
  std::array<LinearAddress, kSlotCount> bases_{};
};

}  // namespace fu
