#include "sim/sim_card.h"

namespace fu::sim {

namespace {

constexpr std::uint32_t kHcvrRequest = 0x1;         // HC
constexpr std::uint32_t kHcvrNonMaskable = 0x8000;  // HNMI
constexpr std::uint8_t kBootVector = 5;

}  // namespace

SimCard::SimCard(const SimTime& time)
    : time_(time),
      dsp_(flash_, faults_, timing_, settings_, diagnostics_, [this] { NotifyStateChanged(); }) {}

std::uint32_t SimCard::ReadRegister(std::uint32_t offset) {
  ++diagnostics_.registerReads;
  switch (offset) {
    case kHctrOffset:
      return control_;
    case kHstrOffset:
      return ReadStatus();
    case kDataOffset: {
      if (toHost_.empty()) {
        ++diagnostics_.underruns;
        return 0;
      }
      const HostWord word = toHost_.front();
      toHost_.pop_front();
      return ReceiveFormat() == kPlainDataFormat ? word : word << 8;
    }
    default:
      ++diagnostics_.unsupportedAccesses;
      return 0;
  }
}

void SimCard::WriteRegister(std::uint32_t offset, std::uint32_t value) {
  ++diagnostics_.registerWrites;
  switch (offset) {
    case kHctrOffset:
      if (value != control_) {
        control_ = value;
        NotifyStateChanged();
      }
      return;
    case kHcvrOffset:
      WriteHostCommand(value);
      return;
    case kDataOffset: {
      if (faults_.takesNoWords || toDsp_.size() >= kFifoDepth) {
        ++diagnostics_.overruns;
        return;
      }
      const std::chrono::milliseconds now = time_.Uptime();
      if (dsp_.InReset(now)) {
        ++diagnostics_.wordsLostInReset;
        return;
      }
      toDsp_.push_back({TransmitFormat() == kPlainDataFormat ? value : value >> 8, now});
      return;
    }
    default:
      ++diagnostics_.unsupportedAccesses;
      return;
  }
}

void SimCard::ResetDiagnostics() {
  diagnostics_ = SimCardDiagnostics{};
  dsp_.ForgetCommandRecord();
}

std::uint32_t SimCard::ReadStatus() {
  ++diagnostics_.statusReads;
  if (faults_.takesNoWords) {
    return 0;
  }
  if (dsp_.WantsWord() && !toDsp_.empty()) {
    PassWordToDsp();
  } else if (const auto answer = dsp_.Step(toHost_.size() < kFifoDepth)) {
    toHost_.push_back(*answer);
  }
  std::uint32_t status = 0;
  if (toDsp_.size() < kFifoDepth) {
    status |= kHstrTransmitRequest;
  }
  if (!toHost_.empty()) {
    status |= kHstrReceiveRequest;
  }
  return status;
}

void SimCard::WriteHostCommand(std::uint32_t value) {
  const auto vector = static_cast<std::uint8_t>((value >> 1) & 0x7F);
  const bool nonMaskable = (value & kHcvrNonMaskable) != 0;
  if ((value & kHcvrRequest) == 0) {
    ++diagnostics_.ignoredHostCommands;
    return;
  }
  if (nonMaskable && vector == kBootVector) {
    FlushTransmitFifo();
    FlushReceiveFifo();
    dsp_.Boot(time_.Uptime());
    return;
  }
  // The DSP is far faster than the bus: by the time a host command reaches it,
  // it has taken the words it was waiting for.
  while (!faults_.takesNoWords && dsp_.WantsWord() && !toDsp_.empty()) {
    PassWordToDsp();
  }
  if (nonMaskable || !dsp_.HandlesHostCommand(vector, time_.Uptime())) {
    ++diagnostics_.ignoredHostCommands;
    return;
  }
  FlushTransmitFifo();
  if (settings_.keepsUnreadWords) {
    CatchUp();
  } else {
    FlushReceiveFifo();
  }
  dsp_.StartCommand(vector);
}

// What the command in progress still owes goes after the unread words, as far
// as it fits; the rest is lost with the command.
void SimCard::CatchUp() {
  while (!faults_.takesNoWords && toHost_.size() < kFifoDepth) {
    const std::optional<HostWord> word = dsp_.OwedWord();
    if (!word) {
      return;
    }
    toHost_.push_back(*word);
  }
}

void SimCard::PassWordToDsp() {
  const SentWord sent = toDsp_.front();
  toDsp_.pop_front();
  dsp_.TakeWord(sent.word, sent.at);
}

void SimCard::FlushTransmitFifo() {
  diagnostics_.discardedWords += toDsp_.size();
  toDsp_.clear();
}

void SimCard::FlushReceiveFifo() {
  diagnostics_.discardedWords += toHost_.size();
  toHost_.clear();
}

void SimCard::NotifyStateChanged() {
  if (stateChanged_) {
    stateChanged_();
  }
}

}  // namespace fu::sim
