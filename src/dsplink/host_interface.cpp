#include "dsplink/host_interface.h"

namespace fu {

std::uint32_t HostInterface::ReadHostRegister(CardSlot slot, std::uint32_t offset) {
  if (!windows_.HasWindow(slot)) {
    return 0;
  }
  return bus_.Read32(windows_.Get(slot) + offset);
}

void HostInterface::WriteHostRegister(CardSlot slot, std::uint32_t offset, std::uint32_t value) {
  if (windows_.HasWindow(slot)) {
    bus_.Write32(windows_.Get(slot) + offset, value);
  }
}

bool HostInterface::Poll(CardSlot slot, std::uint32_t bit) {
  if (!windows_.HasWindow(slot)) {
    return false;
  }
  const LinearAddress status = windows_.Get(slot) + hi::HSTR;
  for (std::uint32_t reads = 1; reads <= hi::kPollLimit + 1; ++reads) {
    ++status_reads_;
    if (bus_.Read32(status) & bit) {
      return reads <= hi::kPollLimit;
    }
  }
  return false;
}

bool HostInterface::DSP_WriteFIFO(CardSlot slot, std::span<const HostWord> words) {
  for (const HostWord word : words) {
    if (!Poll_HTRq(slot)) {
      return false;
    }
    WriteHostRegister(slot, hi::HDATA, word);
  }
  return true;
}

bool HostInterface::DSP_ReadFIFO(CardSlot slot, std::span<HostWord> words) {
  for (HostWord& word : words) {
    if (!Poll_HRRq(slot)) {
      return false;
    }
    word = ReadHostRegister(slot, hi::HDATA);
  }
  return true;
}

std::optional<std::size_t> HostInterface::DiscardReceived(CardSlot slot, std::size_t limit) {
  if (!windows_.HasWindow(slot)) {
    return 0;
  }
  const LinearAddress status = windows_.Get(slot) + hi::HSTR;
  for (std::size_t dropped = 0;; ++dropped) {
    ++status_reads_;
    if (!(bus_.Read32(status) & hi::kHrrq)) {
      return dropped;
    }
    if (dropped == limit) {
      return std::nullopt;
    }
    ReadHostRegister(slot, hi::HDATA);
  }
}

bool HostInterface::SetFormat(CardSlot slot, int format, std::uint32_t keep_mask, int shift) {
  if (format < 0 || format > 3) {
    return false;
  }
  const std::uint32_t hctr = ReadHostRegister(slot, hi::HCTR);
  WriteHostRegister(slot, hi::HCTR,
                    (hctr & keep_mask) | (static_cast<std::uint32_t>(format) << shift));
  return true;
}

// Both masks also clear bits 24 to 31.
bool HostInterface::SetTransmitFormat(CardSlot slot, int format) {
  return SetFormat(slot, format, 0x00FFFCFF, 8);
}

bool HostInterface::SetReceiveFormat(CardSlot slot, int format) {
  return SetFormat(slot, format, 0x00FFE7FF, 11);
}

int HostInterface::SetFlag(CardSlot slot, std::uint32_t flag) {
  if (!windows_.HasWindow(slot)) {
    return 1;  // nothing was set
  }
  const std::uint32_t hctr = ReadHostRegister(slot, hi::HCTR);
  if (hctr & flag) {
    return 1;
  }
  WriteHostRegister(slot, hi::HCTR, hctr | flag);
  return 0;
}

int HostInterface::ClearFlag(CardSlot slot, std::uint32_t flag) {
  const std::uint32_t hctr = ReadHostRegister(slot, hi::HCTR);
  if (!(hctr & flag)) {
    return 1;
  }
  WriteHostRegister(slot, hi::HCTR, hctr & ~flag);
  return 0;
}

int HostInterface::ClaimCard(CardSlot slot) {
  return SetFlag(slot, hi::kBusyFlag);
}

int HostInterface::ReleaseCard(CardSlot slot) {
  return ClearFlag(slot, hi::kBusyFlag);
}

int HostInterface::IsCardBusy(CardSlot slot) {
  if (!windows_.HasWindow(slot)) {
    return -1;
  }
  return (ReadHostRegister(slot, hi::HCTR) & hi::kBusyFlag) ? 1 : 0;
}

int HostInterface::SetBootDoneFlag(CardSlot slot) {
  return SetFlag(slot, hi::kBootDoneFlag);
}

int HostInterface::ClearBootDoneFlag(CardSlot slot) {
  return ClearFlag(slot, hi::kBootDoneFlag);
}

void HostInterface::SendHostCommand(CardSlot slot, std::uint8_t vector) {
  WriteHostRegister(slot, hi::HCVR, ((vector & 0x7Fu) << 1) | 1u);
}

}  // namespace fu
