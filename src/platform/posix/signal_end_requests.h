#pragma once
// End requests by POSIX signals, for the Linux programs. SIGPIPE is ignored for
// the whole run: output to a closed pipe (a console program piped into head)
// then fails its writes instead of killing the program. SIGINT, SIGTERM and
// SIGHUP keep their disposition outside a hold, so they end the program as
// always (a console program first writes its ending text to standard error);
// during a hold they are only noted, and Release() reports them. The signal
// state is the process's: one object at a time.

#include <csignal>
#include <iterator>
#include <string_view>

#include "platform/end_requests.h"

namespace fu {

class SignalEndRequests : public EndRequests {
 public:
  // ending_text: written to standard error when a request ends the program
  // outside a hold; it must outlive the object (a literal). Empty: nothing.
  explicit SignalEndRequests(std::string_view ending_text = {});
  ~SignalEndRequests() override;
  SignalEndRequests(const SignalEndRequests&) = delete;
  SignalEndRequests& operator=(const SignalEndRequests&) = delete;

  void Hold() override;
  bool Release() override;

 private:
  static constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction kept_[std::size(kEndSignals)] = {};
  bool held_ = false;
};

}  // namespace fu
