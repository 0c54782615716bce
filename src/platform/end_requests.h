#pragma once
// Port: requests to end the program (a signal, Ctrl+C, closing the console,
// log-off, the window's close) that arrive while a card is written are held
// until the write is done.

namespace fu {

class EndRequests {
 public:
  virtual ~EndRequests() = default;
  // From here on an end request is held, not carried out.
  virtual void Hold() = 0;
  // Ends the hold; true when an end was requested meanwhile.
  virtual bool Release() = 0;
};

// End requests within the process, for tests and for programs that get none:
// Request() acts like an arriving signal.
class HeldEndRequests : public EndRequests {
 public:
  void Hold() override { held_ = true; }
  bool Release() override {
    held_ = false;
    const bool requested = requested_;
    requested_ = false;
    return requested;
  }

  // Outside a hold the end is carried out at once (counted as such); inside one
  // it is kept for Release().
  void Request() {
    if (held_) {
      requested_ = true;
    } else {
      ++ended_at_once_;
    }
  }
  bool Held() const { return held_; }
  int EndedAtOnce() const { return ended_at_once_; }

 private:
  bool held_ = false;
  bool requested_ = false;
  int ended_at_once_ = 0;
};

}  // namespace fu
