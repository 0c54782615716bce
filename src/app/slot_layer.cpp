#include "app/slot_layer.h"

#include <string>

namespace fu {

namespace {

constexpr bool IsWindow(std::uint32_t handle) {
  return handle != 0 && handle != 0xFFFFFFFF && handle != ERROR_WORD;
}

}  // namespace

int SlotLayer::OpenSlot(CardSlot slot) {
  if (!InRange(slot)) {
    return 0;
  }
  const auto i = static_cast<std::size_t>(slot);
  if (handles_[i] != 0 && handles_[i] != 0xFFFFFFFF && current_ != ERROR_WORD) {
    ++counts_[i];
    return 1;
  }
  const std::uint32_t handle = cards_.OpenCard(slot + 1);
  current_ = handle;
  handles_[i] = handle;
  if (!IsWindow(handle)) {
    CloseSlot(slot);
    // A slot whose open failed holds no handle, so the next open tries again.
    handles_[i] = 0;
    if (current_ == handle) {
      current_ = 0;
    }
    return 0;
  }
  ++counts_[i];
  return 1;
}

int SlotLayer::CloseSlot(CardSlot slot) {
  if (!InRange(slot)) {
    return 0;
  }
  const auto i = static_cast<std::size_t>(slot);
  if (counts_[i] == 1) {
    const bool ok = cards_.CloseCard(slot);
    // The window is gone either way; a count left at 1 would keep the slot
    // "open" without a window for the rest of the run.
    counts_[i] = 0;
    if (handles_[i] == current_) {
      current_ = 0;
    }
    handles_[i] = 0;
    return ok ? 1 : 0;
  }
  if (counts_[i] > 1) {
    return --counts_[i];
  }
  return 0;
}

std::uint32_t SlotLayer::SelectCard(CardSlot slot) {
  if (host_.IsCardBusy(slot) == 1 || host_.IsCardBusy(slot) == 1) {
    if (host_.IsCardBusy(slot) == 1) {
      current_ = 0;
    }
    return ERROR_WORD;
  }
  current_ = WindowHandle(slot);
  return 1;
}

std::int64_t SlotLayer::LoadCardProgram(CardSlot slot, std::string_view directory,
                                        std::string_view file_name) {
  if (host_.ClaimCard(slot) == 1) {
    return ERROR_WORD;
  }
  std::string path(directory);
  if (!path.empty() && path.back() != '\\') {
    path += '\\';
  }
  path += file_name;
  int sent = 0;
  bool ok = false;
  try {
    ok = loader_.LoadDspProgram(slot, path, sent);
  } catch (...) {
    host_.ReleaseCard(slot);  // never leave the card claimed
    throw;
  }
  host_.ReleaseCard(slot);
  return ok ? sent : -1;
}

}  // namespace fu
