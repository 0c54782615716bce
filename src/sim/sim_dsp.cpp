#include "sim/sim_dsp.h"

#include <algorithm>
#include <utility>

#include "sim/power_cut.h"
#include "sim/sim_boot_stream.h"

namespace fu::sim {

SimDsp::SimDsp(SimFlash& flash, SimCardFaults& faults, const SimCardTiming& timing,
               const SimCardSettings& settings, SimCardDiagnostics& diagnostics,
               std::function<void()> flashTouched)
    : flash_(flash),
      faults_(faults),
      timing_(timing),
      settings_(settings),
      diagnostics_(diagnostics),
      flashTouched_(std::move(flashTouched)) {}

DspMode SimDsp::Mode() const {
  switch (phase_) {
    case Phase::kHalted:
      return DspMode::kHalted;
    case Phase::kBootCount:
    case Phase::kBootSecond:
    case Phase::kBootProgram:
      return DspMode::kLoading;
    case Phase::kRejected:
      return DspMode::kRejected;
    case Phase::kIdle:
    case Phase::kReadAddress:
    case Phase::kReadCount:
    case Phase::kReading:
    case Phase::kSubCommand:
    case Phase::kProgramAddress:
    case Phase::kProgramCount:
    case Phase::kProgramData:
    case Phase::kEraseAddress:
    case Phase::kAnswer:
      return DspMode::kService;
  }
  return DspMode::kHalted;
}

void SimDsp::Boot(std::chrono::milliseconds now) {
  ++diagnostics_.boots;
  resetEnds_ = now + std::chrono::milliseconds(timing_.resetMilliseconds);
  diagnostics_.bootWordsTaken = 0;
  bootProgram_.clear();
  fault_.reset();
  record_.reset();
  phase_ = Phase::kBootCount;
}

bool SimDsp::HandlesHostCommand(std::uint8_t vector, std::chrono::milliseconds now) const {
  return Mode() == DspMode::kService && now >= serviceStarts_ &&
         (vector == kReadVector || vector == kProgramEraseVector);
}

void SimDsp::StartCommand(std::uint8_t vector) {
  if (phase_ != Phase::kIdle) {
    ++diagnostics_.abortedCommands;
  }
  data_.clear();
  fault_.reset();
  record_.reset();
  phase_ = vector == kReadVector ? Phase::kReadAddress : Phase::kSubCommand;
}

bool SimDsp::WantsWord() const {
  switch (phase_) {
    case Phase::kBootCount:
    case Phase::kBootSecond:
    case Phase::kBootProgram:
    case Phase::kReadAddress:
    case Phase::kReadCount:
    case Phase::kSubCommand:
    case Phase::kProgramAddress:
    case Phase::kProgramCount:
    case Phase::kProgramData:
    case Phase::kEraseAddress:
      return true;
    case Phase::kHalted:
    case Phase::kRejected:
    case Phase::kIdle:
    case Phase::kReading:
    case Phase::kAnswer:
      return false;
  }
  return false;
}

void SimDsp::TakeWord(HostWord word, std::chrono::milliseconds arrived) {
  const std::uint32_t value = word & kWordMask;
  switch (phase_) {
    case Phase::kBootCount:
    case Phase::kBootSecond:
    case Phase::kBootProgram:
      TakeBootWord(value, arrived);
      return;
    case Phase::kReadAddress:
      address_ = value;
      phase_ = Phase::kReadCount;
      return;
    case Phase::kReadCount:
      count_ = value;
      BeginRead();
      return;
    case Phase::kSubCommand:
      if (value == kProgramSubCommand) {
        phase_ = Phase::kProgramAddress;
      } else if (value == kEraseSubCommand) {
        phase_ = Phase::kEraseAddress;
      } else {
        BeginCommand(CommandKind::kUnknown, value, 0);
        Answer(1, 0);
      }
      return;
    case Phase::kProgramAddress:
      address_ = value;
      phase_ = Phase::kProgramCount;
      return;
    case Phase::kProgramCount:
      count_ = value;
      BeginCommand(CommandKind::kProgram, address_, count_);
      limit_ = count_;
      if (fault_ && fault_->action == FaultAction::kStop) {
        limit_ = std::min(fault_->amount, count_);
      } else if (CutsPower()) {
        limit_ = count_ / 2;
      }
      phase_ = Phase::kProgramData;
      if (limit_ == 0) {
        FinishProgram();
      }
      return;
    case Phase::kProgramData:
      if ((value & ~std::uint32_t{0xFF}) != 0) {
        ++diagnostics_.wideDataWords;
      }
      data_.push_back(static_cast<std::uint8_t>(value));
      if (data_.size() == limit_) {
        FinishProgram();
      }
      return;
    case Phase::kEraseAddress:
      address_ = value;
      BeginCommand(CommandKind::kErase, address_, 0);
      FinishErase();
      return;
    case Phase::kHalted:
    case Phase::kRejected:
    case Phase::kIdle:
    case Phase::kReading:
    case Phase::kAnswer:
      return;
  }
}

std::optional<HostWord> SimDsp::Step(bool answerFits) {
  if (phase_ == Phase::kReading) {
    if (done_ >= limit_) {
      phase_ = Phase::kIdle;  // only a read cut off by the power stays past its limit
      throw PowerCut{};
    }
    if (!answerFits || FallenBehind()) {
      return std::nullopt;
    }
    return NextReadWord();
  }
  if (phase_ == Phase::kAnswer) {
    if (delay_ > 0) {
      --delay_;
      return std::nullopt;
    }
    if (!answerFits || FallenBehind()) {
      return std::nullopt;
    }
    return GiveStatus();
  }
  return std::nullopt;
}

std::optional<HostWord> SimDsp::OwedWord() {
  if (phase_ == Phase::kReading && done_ < limit_) {
    return NextReadWord();
  }
  if (phase_ == Phase::kAnswer) {
    return GiveStatus();
  }
  return std::nullopt;
}

HostWord SimDsp::NextReadWord() {
  std::uint8_t byte = flash_.Read((address_ + done_) & kWordMask);
  if (done_ >= lieFrom_) {
    byte = static_cast<std::uint8_t>(~byte);
  }
  if (++done_ >= limit_ && !CutsPower()) {
    phase_ = Phase::kIdle;
  }
  return byte;
}

HostWord SimDsp::GiveStatus() {
  phase_ = Phase::kIdle;
  if (record_ && *record_ < diagnostics_.commands.size()) {
    diagnostics_.commands[*record_].status = status_;
  }
  return status_;
}

// A late read answers its first `amount` words; a late status is never answered.
bool SimDsp::FallenBehind() const {
  return fault_ && fault_->action == FaultAction::kLate &&
         (phase_ == Phase::kAnswer || done_ >= fault_->amount);
}

void SimDsp::TakeBootWord(HostWord word, std::chrono::milliseconds arrived) {
  ++diagnostics_.bootWordsTaken;
  if (phase_ == Phase::kBootCount) {
    bootCount_ = word;
    const bool sane = word >= kMinProgramWords && word <= kMaxProgramWords;
    phase_ = sane ? Phase::kBootSecond : Phase::kRejected;
    if (!sane) {
      ++diagnostics_.rejectedBoots;
    }
    return;
  }
  if (phase_ == Phase::kBootSecond) {
    bootSecond_ = word;
    bootProgram_.clear();
    bootProgram_.reserve(bootCount_);
    phase_ = Phase::kBootProgram;
    return;
  }
  bootProgram_.push_back(word);
  if (bootProgram_.size() < bootCount_) {
    return;
  }
  if (IsFlashServiceProgram(bootSecond_, bootProgram_)) {
    phase_ = Phase::kIdle;
    serviceStarts_ = arrived + std::chrono::milliseconds(timing_.startMilliseconds);
  } else {
    ++diagnostics_.rejectedBoots;
    phase_ = Phase::kRejected;
  }
}

void SimDsp::BeginCommand(CommandKind kind, std::uint32_t address, std::uint32_t count) {
  fault_.reset();
  if (commandBegun_) {
    commandBegun_({kind, address, count, false, std::nullopt});
  }
  for (CommandFault& fault : faults_.commands) {
    if (fault.kind != kind) {
      continue;
    }
    ++fault.seen;
    if (!fault_ && (fault.nth == 0 || fault.seen == fault.nth)) {
      fault_ = fault;
    }
  }
  diagnostics_.commands.push_back({kind, address, count, fault_.has_value(), std::nullopt});
  record_ = diagnostics_.commands.size() - 1;
}

void SimDsp::BeginRead() {
  BeginCommand(CommandKind::kRead, address_, count_);
  done_ = 0;
  limit_ = count_;
  lieFrom_ = count_;
  if (fault_) {
    switch (fault_->action) {
      case FaultAction::kFail:
        limit_ = 0;
        break;
      case FaultAction::kLie:
        lieFrom_ = fault_->amount;
        break;
      case FaultAction::kStop:
        limit_ = std::min(fault_->amount, count_);
        break;
      case FaultAction::kPowerCut:
        limit_ = count_ / 2;
        break;
      case FaultAction::kSpill:
      case FaultAction::kLate:
      case FaultAction::kStray:
        break;
    }
  }
  phase_ = limit_ > 0 || CutsPower() ? Phase::kReading : Phase::kIdle;
}

// Programs the first `bytes` data bytes from the offset on; true when all read back.
bool SimDsp::ProgramData(std::size_t bytes) {
  bool ok = true;
  for (std::size_t i = 0; i < bytes; ++i) {
    ok =
        flash_.Program(kRecordAreaStart + address_ + static_cast<std::uint32_t>(i), data_[i]) && ok;
  }
  return ok;
}

bool SimDsp::BlockInEraseRange() const {
  const std::uint64_t first = std::uint64_t{kRecordAreaStart} + address_;
  return first >= settings_.eraseFrom && first + count_ <= std::uint64_t{settings_.eraseTo} + 1;
}

void SimDsp::FinishProgram() {
  const std::optional<FaultAction> action =
      fault_ ? std::optional<FaultAction>(fault_->action) : std::nullopt;
  if (action == FaultAction::kStray) {
    address_ = fault_->amount;
  }
  const bool inArea = BlockInEraseRange();
  if (action == FaultAction::kStop || action == FaultAction::kPowerCut) {
    if (inArea) {
      ProgramData(data_.size());
      flashTouched_();
    }
    phase_ = Phase::kIdle;
    if (action == FaultAction::kPowerCut) {
      throw PowerCut{};
    }
    return;
  }
  HostWord status = 1;
  if (inArea && action != FaultAction::kFail) {
    if (action == FaultAction::kLie) {
      ProgramData(std::min<std::size_t>(fault_->amount, data_.size()));
      status = 0;
    } else {
      status = ProgramData(data_.size()) ? 0 : 1;
    }
    flashTouched_();
  }
  Answer(status,
         timing_.programReads + std::uint64_t{timing_.programReadsPerByte} * std::uint64_t{count_});
}

// Any address inside the flash erases the card's erase range.
void SimDsp::FinishErase() {
  const bool inFlash = SimFlash::Contains(address_);
  const std::optional<FaultAction> action =
      fault_ ? std::optional<FaultAction>(fault_->action) : std::nullopt;
  if (action == FaultAction::kPowerCut) {
    if (inFlash) {
      const std::uint32_t half = (settings_.eraseTo - settings_.eraseFrom + 1) / 2;
      flash_.Erase(settings_.eraseFrom, settings_.eraseFrom + half - 1);
      flashTouched_();
    }
    phase_ = Phase::kIdle;
    throw PowerCut{};
  }
  HostWord status = 1;
  if (inFlash && action != FaultAction::kFail) {
    if (action != FaultAction::kLie) {
      flash_.Erase(settings_.eraseFrom, settings_.eraseTo);
      if (action == FaultAction::kSpill && fault_->amount == 0) {
        flash_.AllBytes().fill(0xFF);
      } else if (action == FaultAction::kSpill) {
        flash_.EraseSector(fault_->amount);
      }
      flashTouched_();
    }
    status = 0;
  }
  if (action == FaultAction::kStop) {
    phase_ = Phase::kIdle;
    return;
  }
  Answer(status, timing_.eraseReads);
}

void SimDsp::Answer(HostWord status, std::uint64_t delay) {
  status_ = status;
  delay_ = delay;
  phase_ = Phase::kAnswer;
}

}  // namespace fu::sim
