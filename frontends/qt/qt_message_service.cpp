#include "qt_message_service.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "platform/main_window_texts.h"
#include "qt_text.h"

namespace fu {

namespace {

QMessageBox::Icon IconOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::Error:
      return QMessageBox::Critical;
    case MessageKind::Information:
      return QMessageBox::Information;
    case MessageKind::Question:
      return QMessageBox::Question;
    case MessageKind::Plain:
      return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

void AddButton(QMessageBox& box, QMessageBox::StandardButton which, const char* caption) {
  box.addButton(which)->setText(QString::fromUtf8(caption));
}

}  // namespace

std::unique_ptr<QMessageBox> QtMessageService::MakeBox(std::string_view text, MessageKind kind,
                                                       Buttons buttons, QWidget* owner) {
  auto box = std::make_unique<QMessageBox>(owner);
  box->setWindowTitle(FromCp1252(form1::kCaption));
  box->setIcon(IconOf(kind));
  box->setTextFormat(Qt::PlainText);
  box->setText(MessageText(text));
  switch (buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoDefaultNo:
      AddButton(*box, QMessageBox::Yes, "Ja");
      AddButton(*box, QMessageBox::No, "Nein");
      box->setDefaultButton(buttons == Buttons::YesNo ? QMessageBox::Yes : QMessageBox::No);
      box->setEscapeButton(QMessageBox::No);
      break;
    case Buttons::Ok:
      AddButton(*box, QMessageBox::Ok, "OK");
      box->setEscapeButton(QMessageBox::Ok);
      break;
    case Buttons::Cancel:
      AddButton(*box, QMessageBox::Cancel, "Abbrechen");
      box->setEscapeButton(QMessageBox::Cancel);
      break;
  }
  return box;
}

Answer QtMessageService::AnswerOf(const QMessageBox& box, Buttons buttons) {
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    case QMessageBox::Ok:
      return Answer::Ok;
    case QMessageBox::Cancel:
      return Answer::Cancel;
    default:
      return DismissAnswer(buttons);
  }
}

Answer QtMessageService::Show(std::string_view text, MessageKind kind, Buttons buttons) {
  const auto box = MakeBox(text, kind, buttons, owner_.data());
  // An action may have set the hourglass; the box itself takes clicks.
  const bool hourglass = QApplication::overrideCursor() != nullptr;
  if (hourglass) {
    QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  box->exec();
  if (hourglass) {
    QApplication::restoreOverrideCursor();
  }
  return AnswerOf(*box, buttons);
}

}  // namespace fu
