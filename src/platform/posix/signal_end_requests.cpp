#include "platform/posix/signal_end_requests.h"

#include <unistd.h>

namespace fu {

namespace {

// Set by the handler, read and cleared only outside it.
volatile std::sig_atomic_t g_end_requested = 0;

extern "C" void NoteEndRequest(int /*signal*/) {
  g_end_requested = 1;
}

// The ending text; set before the handler below is installed.
const char* g_ending_text = nullptr;
std::size_t g_ending_size = 0;

// Only async-signal-safe calls: the text, then the signal's default action.
extern "C" void EndWithText(int signal) {
  ssize_t written = ::write(STDERR_FILENO, g_ending_text, g_ending_size);
  static_cast<void>(written);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

SignalEndRequests::SignalEndRequests(std::string_view ending_text) {
  std::signal(SIGPIPE, SIG_IGN);
  if (ending_text.empty()) {
    return;
  }
  g_ending_text = ending_text.data();
  g_ending_size = ending_text.size();
  struct sigaction end = {};
  end.sa_handler = &EndWithText;
  sigemptyset(&end.sa_mask);
  end.sa_flags = 0;
  for (const int signal : kEndSignals) {
    struct sigaction kept = {};
    sigaction(signal, nullptr, &kept);
    // A signal the program was started to ignore (nohup) stays ignored.
    if (kept.sa_handler != SIG_IGN) {
      sigaction(signal, &end, nullptr);
    }
  }
}

SignalEndRequests::~SignalEndRequests() {
  Release();
  for (const int signal : kEndSignals) {
    struct sigaction now = {};
    sigaction(signal, nullptr, &now);
    if (now.sa_handler == &EndWithText) {
      std::signal(signal, SIG_DFL);
    }
  }
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
