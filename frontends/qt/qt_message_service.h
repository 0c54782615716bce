#pragma once
// The message service as a modal Qt message box with German button captions.

#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/message_service.h"

class QMessageBox;

namespace fu {

class QtMessageService : public MessageService {
 public:
  explicit QtMessageService(QWidget* owner = nullptr) : owner_(owner) {}

  // The window the boxes are modal to and centred on; none before it exists.
  void SetOwner(QWidget* owner) { owner_ = owner; }

  Answer Show(std::string_view text, MessageKind kind, Buttons buttons) override;

  // The box Show runs, built but not shown.
  static std::unique_ptr<QMessageBox> MakeBox(std::string_view text, MessageKind kind,
                                              Buttons buttons, QWidget* owner);
  // The answer of the button the box was closed with; DismissAnswer when none.
  static Answer AnswerOf(const QMessageBox& box, Buttons buttons);

 private:
  QPointer<QWidget> owner_;
};

}  // namespace fu
