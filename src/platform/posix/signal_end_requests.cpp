#include "platform/posix/signal_end_requests.h"

namespace fu {

namespace {

// Set by the handler, read and cleared only outside it.
volatile std::sig_atomic_t g_end_requested = 0;

extern "C" void NoteEndRequest(int /*signal*/) {
  g_end_requested = 1;
}

}  // namespace

SignalEndRequests::SignalEndRequests() {
  std::signal(SIGPIPE, SIG_IGN);
}

SignalEndRequests::~SignalEndRequests() {
  Release();
}

void SignalEndRequests::Hold() {
  if (held_) {
    return;
  }
  g_end_requested = 0;
  struct sigaction note = {};
  note.sa_handler = &NoteEndRequest;
  sigemptyset(&note.sa_mask);
  note.sa_flags = SA_RESTART;  // a read from the terminal goes on
  for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
    sigaction(kEndSignals[i], nullptr, &kept_[i]);
    // A signal the program was started to ignore (nohup) stays ignored.
    if (kept_[i].sa_handler != SIG_IGN) {
      sigaction(kEndSignals[i], &note, nullptr);
    }
  }
  held_ = true;
}

bool SignalEndRequests::Release() {
  if (!held_) {
    return false;
  }
  for (std::size_t i = 0; i < std::size(kEndSignals); ++i) {
    sigaction(kEndSignals[i], &kept_[i], nullptr);
  }
  held_ = false;
  const bool requested = g_end_requested != 0;
  g_end_requested = 0;
  return requested;
}

}  // namespace fu
