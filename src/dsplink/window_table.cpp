#include "dsplink/window_table.h"

namespace fu {

namespace {

constexpr bool InRange(CardSlot slot) {
  return slot >= 0 && slot < kSlotCount;
}

}  // namespace

LinearAddress WindowTable::Get(CardSlot slot) const {
  return InRange(slot) ? bases_[static_cast<std::size_t>(slot)] : 0;
}

void WindowTable::Set(CardSlot slot, LinearAddress base) {
  if (InRange(slot)) {
    bases_[static_cast<std::size_t>(slot)] = base;
  }
}

bool WindowTable::HasWindow(CardSlot slot) const {
  const LinearAddress base = Get(slot);
  return base != 0 && base != 0xFFFFFFFF;
}

}  // namespace fu
