// The Linux window on a simulated PC in a temporary folder, with scripted
// message boxes, driven the way a user drives it: clicks and keys.

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/flash_update_kunde_unit.h"
#include "platform/scripted_message_service.h"
#include "qt_flash_splash.h"
#include "qt_main_window.h"
#include "qt_message_service.h"
#include "qt_text.h"
#include "sim/sim_machine.h"
#include "support/card_kinds.h"

namespace {

using fu::Answer;
using fu::Buttons;
using fu::MessageKind;

QWidget* TopLevel(const QString& name) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == name) {
      return widget;
    }
  }
  return nullptr;
}

// What a progress window and the main window showed at one repaint point of a write.
struct WriteStep {
  QString title;
  bool visible = false;
  bool on_top = false;
  QString label1, label2, label3;
  int progress = -1;
  bool main_label6_visible = false;
  bool main_progress_visible = false;
};

// The real progress windows, watched: a snapshot at every repaint point of a
// write, and a hook that acts there as a user would.
class WatchedSplash : public fu::FlashSplashFactory {
 public:
  std::unique_ptr<fu::TFlashSplashScreen> CreateAndShow() override {
    return std::make_unique<Screen>(inner_.CreateAndShow(), *this);
  }

  QWidget* main_window = nullptr;
  std::vector<WriteStep> steps;
  std::function<void(int step)> at_step;

 private:
  class Screen : public fu::TFlashSplashScreen {
   public:
    Screen(std::unique_ptr<fu::TFlashSplashScreen> inner, WatchedSplash& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    void SetProgressBar1(int percent) override { inner_->SetProgressBar1(percent); }
    void SetLabel2(std::string_view text) override { inner_->SetLabel2(text); }
    void SetLabel3(std::string_view text) override { inner_->SetLabel3(text); }
    void Close() override { inner_->Close(); }
    void ProcessMessages() override {
      inner_->ProcessMessages();
      owner_.steps.push_back(Snapshot());
      if (owner_.at_step) {
        owner_.at_step(static_cast<int>(owner_.steps.size()));
      }
    }

   private:
    WriteStep Snapshot() const {
      WriteStep step;
      if (QWidget* window = TopLevel(QStringLiteral("FlashSplashScreen"))) {
        step.title = window->windowTitle();
        step.visible = window->isVisible();
        step.on_top = window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        step.label1 = window->findChild<QLabel*>(QStringLiteral("Label1"))->text();
        step.label2 = window->findChild<QLabel*>(QStringLiteral("Label2"))->text();
        step.label3 = window->findChild<QLabel*>(QStringLiteral("Label3"))->text();
        step.progress = window->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"))->value();
      }
      if (owner_.main_window != nullptr) {
        step.main_label6_visible =
            owner_.main_window->findChild<QLabel*>(QStringLiteral("Label6"))->isVisible();
        step.main_progress_visible =
            owner_.main_window->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"))
                ->isVisible();
      }
      return step;
    }

    std::unique_ptr<fu::TFlashSplashScreen> inner_;
    WatchedSplash& owner_;
  };

  fu::QtFlashSplash inner_;
};

std::filesystem::path PcFolder(const QTemporaryDir& dir) {
  return std::filesystem::path(dir.path().toStdString()) / "pc";
}

// The program as flashupdate builds it, on a fresh default PC with a virtual clock.
struct Rig {
  QTemporaryDir dir;
  fu::sim::SimMachine machine{PcFolder(dir), fu::sim::ClockKind::kVirtual};
  fu::ScriptedMessageService messages;
  WatchedSplash splash;
  fu::QtMainWindow window;
  fu::FlashUpdateSystem system{fu::Ports{machine.System(), machine.Ports(), machine.Bus(),
                                         machine.Time(), machine.Drive(), messages, splash}};
  fu::TForm1 form{system, window};

  template <typename W>
  W* Find(const char* name) {
    W* widget = window.findChild<W*>(QString::fromLatin1(name));
    if (widget == nullptr) {
      qFatal("no control %s", name);
    }
    return widget;
  }
  QString Text(const char* edit) { return Find<QLineEdit>(edit)->text(); }
  bool Enabled(const char* name) { return Find<QWidget>(name)->isEnabled(); }
  bool Visible(const char* name) { return Find<QWidget>(name)->isVisible(); }
};

// Answers the next modal message box by clicking the button with the caption, and
// keeps what the box showed. A box without such a button is rejected, so that no
// test waits on it.
struct BoxSeen {
  QString title, text;
  QStringList buttons;
  QString default_button;  // what Enter chooses
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool arrow_cursor = false;
};

void AnswerNextBox(const QString& caption, BoxSeen& seen) {
  auto* timer = new QTimer;
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, [timer, caption, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      return;
    }
    timer->stop();
    timer->deleteLater();
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.default_button =
        box->defaultButton() != nullptr ? box->defaultButton()->text() : QString();
    seen.icon = box->icon();
    seen.arrow_cursor = QApplication::overrideCursor() != nullptr &&
                        QApplication::overrideCursor()->shape() == Qt::ArrowCursor;
    QAbstractButton* chosen = nullptr;
    for (QAbstractButton* button : box->buttons()) {
      seen.buttons << button->text();
      if (button->text() == caption) {
        chosen = button;
      }
    }
    if (chosen != nullptr) {
      chosen->click();
    } else {
      box->reject();
    }
  });
  timer->start();
}

// A face loaded from its file, so that no test depends on the fonts the machine has.
QFont FaceFromFile(const QString& file, const QString& family) {
  const int id = QFontDatabase::addApplicationFont(file);
  if (!QFontDatabase::applicationFontFamilies(id).contains(family)) {
    qFatal("%s is missing (fonts-dejavu-core, fonts-dejavu-extra)", qPrintable(file));
  }
  return QFont(family, 8);
}

constexpr const char* kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kDejaVuSansCondensed =
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf";

// A font that measures below the design units of 6 by 13 pixels.
QFont DesignMetricsFont() {
  QFont font = FaceFromFile(QString::fromLatin1(kDejaVuSans), QStringLiteral("DejaVu Sans"));
  font.setPixelSize(9);
  const QFontMetrics metrics(font);
  if (metrics.horizontalAdvance(
          QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) > 6 * 52 ||
      metrics.height() > 13) {
    qFatal("the design metrics font measures larger than 6 by 13");
  }
  return font;
}

}  // namespace

class QtWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void init() {
    rig_ = std::make_unique<Rig>();
    rig_->splash.main_window = &rig_->window;
    rig_->window.Attach(rig_->form);
    rig_->window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig_->window));
    rig_->window.Start();
  }
  // A machine fault of the simulated PC would have ended the program on a real
  // PC: any fails the test.
  void cleanup() {
    QStringList faults;
    for (const fu::sim::MachineFault& fault : rig_->machine.Pc().MachineFaults()) {
      faults << QString::fromStdString(fu::sim::Describe(fault));
    }
    rig_.reset();
    QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("machine faults:\n  ") +
                                          faults.join(QStringLiteral("\n  "))));
  }

  void startUpListsTheCardsAndShowsTheFirst() {
    Rig& r = *rig_;
    QCOMPARE(r.window.windowTitle(), QStringLiteral("Veridomatic PCI: Flashupdate V1.2 --> V1.3"));
    auto* list = r.Find<QComboBox>("ComboBox1");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(0), QStringLiteral("nimbaPCI/HS"));
    QCOMPARE(list->itemText(1), QStringLiteral("RT/Count16"));
    QCOMPARE(list->currentIndex(), 0);
    QVERIFY(!list->isEditable());
    QCOMPARE(r.Text("Edit1"), QStringLiteral("NHS-0202-0117"));
    QCOMPARE(r.Text("Edit2"), QStringLiteral(u"Motorenprüfstand Halle 3"));
    QCOMPARE(r.Text("Edit3"), QStringLiteral("1.2"));
    QVERIFY(r.Visible("Memo1"));
    QVERIFY(r.Enabled("Button2"));
    QVERIFY(!r.Enabled("Button3"));
    QVERIFY(r.Visible("Button4"));
    QVERIFY(!r.Visible("Label6"));
    QVERIFY(!r.Visible("ProgressBar1"));
    QVERIFY(r.messages.Shown().empty());
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  void onlyTheUsersChoiceRefreshes() {
    Rig& r = *rig_;
    auto* list = r.Find<QComboBox>("ComboBox1");
    // The controller selecting an item is no choice of the user's.
    r.window.SelectItem(1);
    QCOMPARE(r.Text("Edit3"), QStringLiteral("1.2"));
    r.window.SelectItem(0);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(r.Text("Edit1"), QStringLiteral("RTC-0302-0031"));
    QCOMPARE(r.Text("Edit2"), QStringLiteral(u"Getriebeprüfstand Nord"));
    QCOMPARE(r.Text("Edit3"), QStringLiteral("1.3"));
    QVERIFY(!r.Visible("Memo1"));
    QVERIFY(!r.Enabled("Button2"));
    QVERIFY(r.Enabled("Button3"));

    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(r.Text("Edit3"), QStringLiteral("1.2"));
    QVERIFY(r.Visible("Memo1"));
    QVERIFY(r.Enabled("Button2"));
    QVERIFY(!r.Enabled("Button3"));
  }

  void upgradeClickWritesRevision13() {
    Rig& r = *rig_;
    QTest::mouseClick(r.Find<QPushButton>("Button2"), Qt::LeftButton);

    // The erase also took the calibration table after card 0's record: told first.
    QCOMPARE(r.messages.Texts().size(), std::size_t{2});
    QVERIFY(r.messages.Texts()[0].find("von Adresse 0xD02E00 bis 0xD02E43") != std::string::npos);
    QCOMPARE(r.messages.Texts()[1], std::string("Flash erfolgreich aktualisiert"));
    QCOMPARE(r.messages.Shown()[1].kind, MessageKind::Information);
    QCOMPARE(r.Text("Edit3"), QStringLiteral("1.3"));
    QVERIFY(!r.Enabled("Button2"));
    QVERIFY(r.Enabled("Button3"));
    QVERIFY(!r.Visible("Memo1"));
    QVERIFY(!r.Visible("Label6"));
    QVERIFY(!r.Visible("ProgressBar1"));
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // One progress window, shown on top through the four blocks, gone afterwards;
    // the main window shows its own progress meanwhile.
    QCOMPARE(r.splash.steps.size(), std::size_t{4});
    for (std::size_t i = 0; i < r.splash.steps.size(); ++i) {
      const WriteStep& step = r.splash.steps[i];
      QCOMPARE(step.title, QStringLiteral("FlashSplashScreen"));
      QVERIFY(step.visible);
      QVERIFY(step.on_top);
      QCOMPARE(step.label1, QStringLiteral("Flash wird beschrieben..."));
      QCOMPARE(step.label2, QString::number(i + 1));
      QCOMPARE(step.label3, QStringLiteral("Schreibe neuen Datensatz"));
      QCOMPARE(step.progress, static_cast<int>(25 * (i + 1)));
      QVERIFY(step.main_label6_visible);
      QVERIFY(step.main_progress_visible);
    }
    QVERIFY(TopLevel(QStringLiteral("FlashSplashScreen")) == nullptr);
  }

  void clicksDuringAWriteAreDropped() {
    Rig& r = *rig_;
    r.splash.at_step = [&r](int step) {
      if (step == 2) {
        QTest::mouseClick(r.Find<QPushButton>("Button4"), Qt::LeftButton);
        QTest::mouseClick(r.Find<QPushButton>("Button1"), Qt::LeftButton);
        r.window.close();
      }
    };
    QTest::mouseClick(r.Find<QPushButton>("Button2"), Qt::LeftButton);
    QCOMPARE(r.splash.steps.size(), std::size_t{4});
    QCOMPARE(r.messages.Texts().back(), std::string("Flash erfolgreich aktualisiert"));
    QVERIFY(r.window.isVisible());

    // Idle again, "Exit" ends the program.
    r.splash.at_step = nullptr;
    QTest::mouseClick(r.Find<QPushButton>("Button1"), Qt::LeftButton);
    QVERIFY(!r.window.isVisible());
  }

  void downgradeAndDumpButtonsRunTheirActions() {
    Rig& r = *rig_;
    auto* list = r.Find<QComboBox>("ComboBox1");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QTest::mouseClick(r.Find<QPushButton>("Button3"), Qt::LeftButton);
    QCOMPARE(r.messages.Texts(), std::vector<std::string>{"Flash erfolgreich aktualisiert"});
    QCOMPARE(r.Text("Edit3"), QStringLiteral("1.2"));
    QVERIFY(r.Enabled("Button2"));
    QVERIFY(!r.Enabled("Button3"));

    r.messages.Clear();
    QTest::mouseClick(r.Find<QPushButton>("Button4"), Qt::LeftButton);
    QCOMPARE(r.messages.Shown().size(), std::size_t{1});
    QCOMPARE(r.messages.Shown()[0].kind, MessageKind::Plain);
    QVERIFY(r.messages.Shown()[0].text.starts_with("Dump erfolgreich erzeugt"));
  }

  void controlsSitWhereTheFormPutsThem() {
    // At the design metrics the table's places hold to the pixel.
    fu::QtMainWindow window(DesignMetricsFont());
    const auto at = [&window](const char* name) {
      return window.findChild<QWidget*>(QString::fromLatin1(name))->geometry();
    };
    QCOMPARE(window.size(), QSize(350, 463));
    QCOMPARE(at("Image1"), QRect(-4, -4, 349, 197));
    QCOMPARE(at("ComboBox1"), QRect(96, 208, 241, 21));
    QCOMPARE(at("Edit3"), QRect(96, 304, 49, 21));
    QCOMPARE(at("Memo1"), QRect(8, 328, 329, 41));
    QCOMPARE(at("ProgressBar1"), QRect(0, 400, 345, 24));
    QCOMPARE(at("Button4"), QRect(0, 432, 57, 25));
    QCOMPARE(at("Button2"), QRect(64, 432, 91, 25));
    QCOMPARE(at("Button3"), QRect(160, 432, 97, 25));
    QCOMPARE(at("Button1"), QRect(264, 432, 83, 25));
    QCOMPARE(at("Label4").topLeft(), QPoint(8, 312));
    QCOMPARE(at("Label6").topLeft(), QPoint(0, 384));
  }

  // Every caption, button text and line of the note fits its control: in a
  // face wider than the design font, in a narrow one, and in one whose words
  // run wider than its letters suggest.
  void textsFitTheirControls_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("word_spacing");
    QTest::newRow("wide") << kDejaVuSans << "DejaVu Sans" << 0;
    QTest::newRow("condensed") << kDejaVuSansCondensed << "DejaVu Sans Condensed" << 0;
    QTest::newRow("spaced words") << kDejaVuSansCondensed << "DejaVu Sans Condensed" << 12;
  }
  void textsFitTheirControls() {
    QFETCH(QString, file);
    QFETCH(QString, family);
    QFETCH(int, word_spacing);
    QFont font = FaceFromFile(file, family);
    font.setWordSpacing(word_spacing);
    fu::QtMainWindow window(font);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto find = [&window](const char* name) {
      return window.findChild<QWidget*>(QString::fromLatin1(name));
    };

    // A caption ends before the control beside it.
    const std::pair<const char*, int> captions[] = {
        {"Label1", find("ComboBox1")->x()},
        {"Label2", find("Edit1")->x()},
        {"Label3", find("Edit2")->x()},
        {"Label4", find("Edit3")->x()},
        {"Label6", find("ProgressBar1")->geometry().right() + 1},
    };
    for (const auto& [name, limit] : captions) {
      auto* label = qobject_cast<QLabel*>(find(name));
      QCOMPARE(label->font().family(), family);
      QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(label->text()), name);
      QVERIFY2(label->x() + label->width() <= limit, name);
    }

    // A button holds its text with the style's margins, and at least the
    // 2-pixel edge each side that the design's buttons have.
    for (const char* name : {"Button1", "Button2", "Button3", "Button4"}) {
      auto* button = qobject_cast<QPushButton*>(find(name));
      QVERIFY2(button->sizeHint().width() <= button->width(), name);
      QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 4 <= button->width(),
               name);
    }

    // The note shows both lines whole: neither wraps, both lie inside the view.
    auto* memo = qobject_cast<QPlainTextEdit*>(find("Memo1"));
    QCOMPARE(memo->document()->blockCount(), 2);
    const QRect view = memo->viewport()->rect();
    for (int line = 0; line < 2; ++line) {
      const QTextBlock block = memo->document()->findBlockByNumber(line);
      QCOMPARE(block.layout()->lineCount(), 1);
      QTextCursor cursor(block);
      const QRect start = memo->cursorRect(cursor);
      cursor.setPosition(block.position() + static_cast<int>(block.text().trimmed().size()));
      const QRect end = memo->cursorRect(cursor);
      QVERIFY2(view.contains(start) && view.contains(end), qPrintable(block.text()));
    }

    // The progress window's captions, as they stand during a write.
    fu::QtFlashSplash factory(font);
    const auto screen = factory.CreateAndShow();
    screen->SetLabel2("4");
    screen->SetLabel3("Schreibe neuen Datensatz");
    QWidget* splash = TopLevel(QStringLiteral("FlashSplashScreen"));
    const auto label = [splash](const char* name) {
      return splash->findChild<QLabel*>(QString::fromLatin1(name))->geometry();
    };
    QVERIFY(label("Label1").right() < label("Label2").left());
    QVERIFY(label("Label2").right() < label("Label3").left());
    QVERIFY(label("Label3").right() < splash->width());
    for (const char* name : {"Label1", "Label2", "Label3"}) {
      auto* caption = splash->findChild<QLabel*>(QString::fromLatin1(name));
      QVERIFY2(caption->width() >= caption->fontMetrics().horizontalAdvance(caption->text()), name);
    }
  }

  void textsAreDecodedFromCodePage1252() {
    QCOMPARE(fu::FromCp1252("\x80 \x9C\xE4\xDF"), QStringLiteral(u"€ œäß"));
    QCOMPARE(fu::MessageText("eins\r\nzwei\rdrei"), QStringLiteral("eins\nzwei\ndrei"));
    QCOMPARE(fu::MessageText(std::string_view("'\0\x7F' fehlt", 10)),
             QStringLiteral("'\\x00\\x7F' fehlt"));
    const QString memo = rig_->Find<QPlainTextEdit>("Memo1")->toPlainText();
    QCOMPARE(memo,
             QStringLiteral(u"Eine Aktualisierung des Flashbausteines ist notwendig, um von \n"
                            u"zukünftigen Treibern unterstützt zu werden"));
  }

  void messageBoxesHaveGermanButtonsAndGiveTheAnswer() {
    struct Case {
      Buttons buttons;
      MessageKind kind;
      QMessageBox::Icon icon;
      QStringList captions;
      QString escape;
    };
    const std::vector<Case> cases = {
        {Buttons::YesNo, MessageKind::Error, QMessageBox::Critical, {"Ja", "Nein"}, "Nein"},
        {Buttons::YesNoDefaultNo,
         MessageKind::Error,
         QMessageBox::Critical,
         {"Ja", "Nein"},
         "Nein"},
        {Buttons::Ok, MessageKind::Information, QMessageBox::Information, {"OK"}, "OK"},
        {Buttons::Cancel, MessageKind::Plain, QMessageBox::NoIcon, {"Abbrechen"}, "Abbrechen"},
        {Buttons::YesNoDefaultNo,
         MessageKind::Question,
         QMessageBox::Question,
         {"Ja", "Nein"},
         "Nein"},
    };
    for (const Case& c : cases) {
      const auto box = fu::QtMessageService::MakeBox(
          "Pr\xFC"
          "fen\r\nZeile 2",
          c.kind, c.buttons, nullptr);
      QCOMPARE(box->text(), QStringLiteral(u"Prüfen\nZeile 2"));
      QCOMPARE(box->textFormat(), Qt::PlainText);
      QCOMPARE(box->icon(), c.icon);
      QStringList captions;
      for (QAbstractButton* button : box->buttons()) {
        captions << button->text();
      }
      captions.sort();
      QStringList expected = c.captions;
      expected.sort();
      QCOMPARE(captions, expected);
      QCOMPARE(box->escapeButton()->text(), c.escape);
      // Closed without a choice: No for a question, else the only button.
      QCOMPARE(fu::QtMessageService::AnswerOf(*box, c.buttons), fu::DismissAnswer(c.buttons));
      if (c.buttons == Buttons::YesNoDefaultNo) {
        QCOMPARE(box->defaultButton()->text(), QStringLiteral("Nein"));  // Enter says No
      }
    }

    // Shown for real: the box takes the click under an hourglass and answers.
    // The hourglass is on or off, however often it is asked for.
    fu::QtMessageService service(&rig_->window);
    rig_->window.SetHourglass(true);
    rig_->window.SetHourglass(true);
    BoxSeen seen;
    AnswerNextBox(QStringLiteral("Nein"), seen);
    QCOMPARE(service.Show("Weiter?", MessageKind::Error, Buttons::YesNo), Answer::No);
    QCOMPARE(seen.title, rig_->window.windowTitle());
    QCOMPARE(seen.text, QStringLiteral("Weiter?"));
    QVERIFY(seen.arrow_cursor);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    AnswerNextBox(QStringLiteral("Ja"), seen);
    QCOMPARE(service.Show("Weiter?", MessageKind::Error, Buttons::YesNo), Answer::Yes);
    rig_->window.SetHourglass(false);
    QVERIFY(QApplication::overrideCursor() == nullptr);
  }

  // A failed write leaves the card half written. The next start asks with a real
  // box whether to restore it: a question whose Enter says No.
  void restoreQuestionAtStartUpDefaultsToNo() {
    Rig& r = *rig_;
    r.machine.Pc().Card(0).Faults().commands.push_back(
        {fu::sim::CommandKind::kProgram, 3, fu::sim::FaultAction::kFail, 0});
    QTest::mouseClick(r.Find<QPushButton>("Button2"), Qt::LeftButton);
    r.machine.Pc().Card(0).Faults() = {};
    const auto damaged = r.machine.Pc().Card(0).Flash().AllBytes();

    fu::QtMessageService boxes;
    fu::FlashUpdateSystem system{fu::Ports{r.machine.System(), r.machine.Ports(), r.machine.Bus(),
                                           r.machine.Time(), r.machine.Drive(), boxes, r.splash}};
    fu::QtMainWindow window;
    boxes.SetOwner(&window);
    fu::TForm1 form{system, window};
    window.Attach(form);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    BoxSeen seen;
    AnswerNextBox(QStringLiteral("Nein"), seen);
    window.Start();
    QVERIFY2(seen.text.startsWith(QStringLiteral("Die letzte Aktualisierung der Karte 0 ")),
             qPrintable(seen.text));
    QCOMPARE(seen.default_button, QStringLiteral("Nein"));
    QCOMPARE(seen.icon, QMessageBox::Question);
    QVERIFY(r.machine.Pc().Card(0).Flash().AllBytes() == damaged);
  }

  // The main job on every kind of card a maker may build: upgrade, downgrade,
  // upgrade, then a downgrade whose block fails, restored at the question that
  // follows, and the downgrade again.
  void mainJobOnEveryKindOfCard_data() {
    QTest::addColumn<int>("kind");
    for (std::size_t i = 0; i < fu::test::CardKinds().size(); ++i) {
      QTest::newRow(fu::test::CardKinds()[i].name.c_str()) << static_cast<int>(i);
    }
  }
  void mainJobOnEveryKindOfCard() {
    QFETCH(int, kind);
    Rig k;
    fu::test::CardKinds()[static_cast<std::size_t>(kind)].apply(k.machine.Pc());
    if (k.machine.Pc().Card(0).Control() & fu::sim::kHctrBusy) {
      k.messages.Script(Answer::Yes);  // take the card over
    }
    k.window.Attach(k.form);
    k.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&k.window));
    k.window.Start();
    const auto click = [&k](const char* button) {
      k.messages.Clear();
      QTest::mouseClick(k.Find<QPushButton>(button), Qt::LeftButton);
      return k.messages.Texts();
    };
    const auto last = [](const std::vector<std::string>& texts) {
      return texts.empty() ? std::string() : texts.back();
    };
    const std::string done = "Flash erfolgreich aktualisiert";
    QCOMPARE(last(click("Button2")), done);
    QCOMPARE(last(click("Button3")), done);
    QCOMPARE(last(click("Button2")), done);
    QCOMPARE(k.Text("Edit3"), QStringLiteral("1.3"));
    k.machine.Pc().Card(0).Faults().commands.push_back(
        {fu::sim::CommandKind::kProgram, 1, fu::sim::FaultAction::kFail, 0});
    k.messages.Script(Answer::Yes);  // restore it
    const auto texts = click("Button3");
    QVERIFY(std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
      return t.find(" wiederhergestellt.") != std::string::npos;
    }));
    QCOMPARE(k.Text("Edit3"), QStringLiteral("1.3"));
    QCOMPARE(last(click("Button3")), done);
    QCOMPARE(k.Text("Edit3"), QStringLiteral("1.2"));
    QVERIFY(k.machine.Pc().MachineFaults().empty());
  }

  void progressWindowStartsWithItsDesignTimeValues() {
    fu::QtFlashSplash factory(DesignMetricsFont());
    auto screen = factory.CreateAndShow();
    QWidget* window = TopLevel(QStringLiteral("FlashSplashScreen"));
    QVERIFY(window != nullptr);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!window->windowFlags().testFlag(Qt::WindowSystemMenuHint));
    QCOMPARE(window->size(), QSize(493, 47));
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label2"))->text(), QString());
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label3"))->text(),
             QStringLiteral("Label3"));
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label3"))->pos(), QPoint(256, 8));
    auto* bar = window->findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->geometry(), QRect(0, 24, 489, 16));

    screen->Close();
    QVERIFY(!window->isVisible());
    screen.reset();
    QVERIFY(TopLevel(QStringLiteral("FlashSplashScreen")) == nullptr);
  }

 private:
  std::unique_ptr<Rig> rig_;
};

QTEST_MAIN(QtWindowTest)
#include "test_qt_window.moc"
