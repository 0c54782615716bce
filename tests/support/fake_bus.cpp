#include "support/fake_bus.h"

namespace fu::test {

std::uint32_t FakeBus::Read32(LinearAddress address) {
  const std::uint32_t offset = address - kBase;
  if (address < kBase || offset >= 0x10000) {
    ++strayAccesses;
    return 0xFFFFFFFF;
  }
  if (offset == hi::HSTR) {
    const std::uint32_t value = status(++statusReads);
    return awaitingArguments_ && unread.empty() ? value & ~hi::kHrrq : value;
  }
  std::uint32_t value = 0;
  if (offset == hi::HCTR) {
    value = hctr;
  } else if (offset == hi::HDATA && !unread.empty()) {
    value = unread.front();
    unread.pop_front();
  } else if (offset == hi::HDATA && !answers.empty()) {
    value = answers.front();
    answers.pop_front();
  }
  log.push_back({false, offset, value});
  return value;
}

void FakeBus::Write32(LinearAddress address, std::uint32_t value) {
  const std::uint32_t offset = address - kBase;
  if (address < kBase || offset >= 0x10000) {
    ++strayAccesses;
    return;
  }
  log.push_back({true, offset, value});
  if (offset == hi::HCTR) {
    hctr = value;
  } else if (offset == hi::HCVR) {
    commands.push_back(value);
    awaitingArguments_ = true;
  } else if (offset == hi::HDATA) {
    sent.push_back(value);
    awaitingArguments_ = false;
  }
}

}  // namespace fu::test
