#pragma once
// End requests of the Linux window: the signals (see SignalEndRequests) and the
// session manager's request to save before a log-off. During a hold the log-off
// is cancelled where the session manager lets the program interact; either way
// it is noted, and the program ends once the write is done.

#include <QGuiApplication>

#include "platform/posix/signal_end_requests.h"

class QSessionManager;

namespace fu {

class QtEndRequests : public EndRequests {
 public:
  explicit QtEndRequests(QGuiApplication& application);

  void Hold() override;
  bool Release() override;

 private:
  void OnCommitData(QSessionManager& manager);

  SignalEndRequests signals_;
  bool held_ = false;
  bool requested_ = false;
};

}  // namespace fu
