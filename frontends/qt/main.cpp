// flashupdate (Linux): the main window over a simulated PC, kept in its default
// folder or in the one named by --machine. /protokoll DATEI (or --protokoll
// DATEI), as on Windows, writes the support protocol.

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "app/flash_update_kunde_unit.h"
#include "app/protocol_start.h"
#include "console/console_message_service.h"
#include "qt_end_requests.h"
#include "qt_flash_splash.h"
#include "qt_main_window.h"
#include "qt_message_service.h"
#include "sim/sim_machine.h"

namespace {

constexpr int kGrabBlock = 2;
constexpr int kGrabProgress = 50;
constexpr std::string_view kGrabActivity = "Schreibe neuen Datensatz";

QWidget* TopLevel(const QString& name) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == name) {
      return widget;
    }
  }
  return nullptr;
}

bool Save(QWidget& widget, const QString& file) {
  if (widget.grab().save(file, "PNG")) {
    return true;
  }
  std::cerr << "Das Bild konnte nicht gespeichert werden: " << file.toStdString() << "\n";
  return false;
}

// The progress window as it stands while block 2 is written.
bool GrabSplash(const QString& file) {
  fu::QtFlashSplash factory;
  const auto screen = factory.CreateAndShow();
  screen->SetProgressBar1(kGrabProgress);
  screen->SetLabel2(std::to_string(kGrabBlock));
  screen->SetLabel3(kGrabActivity);
  screen->ProcessMessages();
  QWidget* window = TopLevel(QStringLiteral("FlashSplashScreen"));
  const bool saved = window != nullptr && Save(*window, file);
  screen->Close();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // From here on a closed output cannot end the program; a signal or a log-off
  // during a write is carried out after it.
  fu::QtEndRequests end_requests(app);
  QApplication::setApplicationName(QStringLiteral("flashupdate"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Bringt den Datensatz im Flash einer Messkarte von Revision 1.2 auf 1.3 und zurück,\n"
      "hier auf einem simulierten PC."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Diese Hilfe anzeigen."));
  const QCommandLineOption machine_option(
      QStringLiteral("machine"),
      QStringLiteral("Der Ordner des simulierten PCs; ohne die Option der Standardordner."),
      QStringLiteral("ORDNER"));
  const QCommandLineOption grab_option(
      QStringLiteral("grab"),
      QStringLiteral("Für die Bildschirmfotos der Tests: das Hauptfenster nach dem Start als "
                     "PNG in DATEI speichern und beenden."),
      QStringLiteral("DATEI"));
  const QCommandLineOption grab_splash_option(
      QStringLiteral("grab-splash"),
      QStringLiteral("Für die Bildschirmfotos der Tests: das Fortschrittsfenster beim "
                     "Schreiben von Block 2 als PNG in DATEI speichern und beenden."),
      QStringLiteral("DATEI"));
  const QCommandLineOption protocol_option(
      QStringLiteral("protokoll"),
      QStringLiteral("Ein Protokoll für den Support in DATEI schreiben (auch /protokoll DATEI)."),
      QStringLiteral("DATEI"));
  parser.addOptions({help, machine_option, grab_option, grab_splash_option, protocol_option});
  // The Windows program's form of the option, /protokoll, is taken too.
  QStringList arguments = QApplication::arguments();
  for (QString& argument : arguments) {
    if (argument == QStringLiteral("/protokoll")) {
      argument = QStringLiteral("--protokoll");
    }
  }
  const bool parsed = parser.parse(arguments);
  if (!parsed || !parser.positionalArguments().isEmpty()) {
    const QString error =
        !parser.unknownOptionNames().isEmpty()
            ? QStringLiteral("Unbekannte Option %1.").arg(parser.unknownOptionNames()[0])
        : !parsed
            ? parser.errorText()
            : QStringLiteral("Unerwartetes Argument %1.").arg(parser.positionalArguments()[0]);
    std::cerr << error.toStdString() << "\n\n" << parser.helpText().toStdString();
    return 3;
  }
  if (parser.isSet(help)) {
    std::cout << parser.helpText().toStdString();
    return 0;
  }

  const bool grab_main = parser.isSet(grab_option);
  const bool grab_splash = parser.isSet(grab_splash_option);
  int status = 0;
  if (grab_splash && !GrabSplash(parser.value(grab_splash_option))) {
    status = 2;
  }
  if (grab_splash && !grab_main) {
    return status;
  }

  // For the screenshots nothing may wait for the user: messages go to the error
  // output and questions are answered No.
  fu::QtMessageService boxes;
  fu::ConsoleMessageService printed(std::cerr, std::cin, false);
  fu::MessageService& messages = grab_main ? static_cast<fu::MessageService&>(printed) : boxes;

  std::unique_ptr<fu::sim::SimMachine> machine;
  try {
    const std::filesystem::path folder =
        parser.isSet(machine_option)
            ? std::filesystem::path(parser.value(machine_option).toStdString())
            : fu::sim::DefaultPcFolder();
    machine = std::make_unique<fu::sim::SimMachine>(folder, fu::sim::ClockKind::kSystem);
  } catch (const std::exception& error) {
    messages.Show(error.what(), fu::MessageKind::Error, fu::Buttons::Ok);
    return 1;
  }
  std::unique_ptr<fu::FileProtocol> protocol;
  if (parser.isSet(protocol_option)) {
    // The whole command line goes into the protocol; "--protokoll=DATEI" is
    // handed on in the separate form.
    std::vector<std::string> protocol_args;
    for (const QString& argument : arguments.mid(1)) {
      protocol_args.push_back(argument.toStdString());
    }
    if (!fu::FindProtocolOption(protocol_args).given) {
      protocol_args = {"--protokoll", parser.value(protocol_option).toStdString()};
    }
    try {
      protocol = fu::StartProtocolFromArguments(protocol_args, "flashupdate", *machine);
    } catch (const fu::ProtocolFileError& error) {
      messages.Show(error.what(), fu::MessageKind::Error, fu::Buttons::Ok);
      return 1;
    }
  }

  fu::QtMainWindow window;
  boxes.SetOwner(&window);
  fu::QtFlashSplash splash;
  fu::FlashUpdateSystem system(fu::Ports{machine->System(), machine->Ports(), machine->Bus(),
                                         machine->Time(), machine->Drive(), messages, splash,
                                         protocol ? *protocol : fu::NoProtocol()});
  fu::TForm1 form(system, window);
  form.SetEndRequests(end_requests);
  window.Attach(form);
  window.show();
  QTimer::singleShot(0, &window, [&] {
    window.Start();
    if (grab_main) {
      if (!Save(window, parser.value(grab_option))) {
        status = 2;
      }
      window.close();
      QCoreApplication::quit();
    }
  });
  const int result = QApplication::exec();
  if (protocol) {
    fu::RecordProgramEnd(*protocol, status != 0 ? status : result);
  }
  if (protocol && !protocol->Complete()) {
    messages.Show(protocol->IncompleteText(), fu::MessageKind::Error, fu::Buttons::Ok);
  }
  return status != 0 ? status : result;
}
