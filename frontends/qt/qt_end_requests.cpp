#include "qt_end_requests.h"

#include <QSessionManager>

namespace fu {

QtEndRequests::QtEndRequests(QGuiApplication& application) {
#ifndef QT_NO_SESSIONMANAGER
  QObject::connect(&application, &QGuiApplication::commitDataRequest, &application,
                   [this](QSessionManager& manager) { OnCommitData(manager); });
#else
  static_cast<void>(application);
#endif
}

void QtEndRequests::Hold() {
  signals_.Hold();
  held_ = true;
}

bool QtEndRequests::Release() {
  held_ = false;
  const bool signalled = signals_.Release();
  const bool requested = requested_;
  requested_ = false;
  return signalled || requested;
}

void QtEndRequests::OnCommitData(QSessionManager& manager) {
#ifndef QT_NO_SESSIONMANAGER
  if (!held_) {
    return;
  }
  requested_ = true;
  if (manager.allowsInteraction()) {
    manager.cancel();
    manager.release();
  }
#else
  static_cast<void>(manager);
#endif
}

}  // namespace fu
