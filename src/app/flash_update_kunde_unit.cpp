#include "app/flash_update_kunde_unit.h"

#include "base/cp1252.h"
#include "base/errors.h"
#include "hwaccess/executable_dir.h"
#include "record/revision.h"

namespace fu {

namespace {

constexpr std::string_view kUnknownCard = "Unbekannter Kartentyp";
constexpr std::string_view kNotPresent = "Nicht vorhanden";
constexpr std::string_view kUnknownRevision = "Unbekannt";
constexpr std::string_view kRevision12Text = "1.2";
constexpr std::string_view kRevision13Text = "1.3";
constexpr auto kAfterLoadWait = std::chrono::milliseconds(250);
constexpr std::string_view kEndedAfterWrite =
    "Das Programm sollte beendet werden, während eine Karte beschrieben wurde.\r\n"
    "Es hat den Schreibvorgang zuerst zu Ende geführt und wird jetzt beendet."_cp;

std::string TakeOverQuestion(std::size_t index) {
  return "Die Karte " + std::to_string(index) +
         std::string(
             " ist als belegt markiert: ein anderes Programm arbeitet vielleicht gerade mit ihr. "
             "Die Markierung kann aber auch nach dem Einschalten des PCs gesetzt sein, oder ein "
             "Programm, das nicht regulär beendet wurde (auch dieses), hat sie stehen lassen.\r\n"
             "Soll dieses Programm die Karte übernehmen? Ein Programm, das noch mit ihr "
             "arbeitet, wird dabei gestört."_cp);
}

// program: the console program that tells how to take the card over, empty in
// the window, whose next start asks again.
std::string NotTakenOverText(std::size_t index, std::string_view program) {
  return "Die Karte " + std::to_string(index) +
         std::string(
             " wurde nicht übernommen. Es wurde nichts an sie gesendet; sie wird als unbekannt "
             "angezeigt. "_cp) +
         (program.empty() ? std::string("Beim nächsten Start wird wieder gefragt."_cp)
                          : "Mit " + std::string(program) + " show " + std::to_string(index) +
                                std::string(" --yes wird sie übernommen."_cp));
}

std::string HeldByOtherAtStartText(std::size_t index) {
  return "Die Karte " + std::to_string(index) +
         std::string(
             " wird von einem anderen Programm benutzt. Es wurde nichts an sie gesendet; sie "
             "wird als unbekannt angezeigt."_cp);
}

}  // namespace

TForm1::TForm1(FlashUpdateSystem& system, MainWindowView& view, RestoreOffers offers,
               std::string_view console_program)
    : sys_(system),
      view_(view),
      messages_(system.ports.messages),
      offers_(offers),
      console_program_(console_program) {
  sys_.writer.SetEndRequests(write_end_requests_);
}

bool TForm1::Claim(CardSlot slot) {
  if (sys_.slots.SelectCard(slot) != 1 || sys_.host.ClaimCard(slot) != 0) {
    return false;
  }
  claimed_ = slot;
  return true;
}

void TForm1::Release() {
  if (claimed_) {
    sys_.host.ReleaseCard(*claimed_);
    claimed_.reset();
  }
}

ActionResult TForm1::Guarded(const std::function<ActionResult()>& event) {
  std::optional<ActionResult> result;
  try {
    result = event();
  } catch (const RaisedError& error) {
    ShowError(error.Text());
  } catch (const std::exception& error) {
    ShowError(std::string("Interner Fehler: ") + error.what());
  }
  if (!result) {
    Busy(false);
    Release();
    if (open_slot_) {
      sys_.slots.CloseSlot(*open_slot_);
      open_slot_.reset();
    }
  }
  EndIfRequested();
  return result.value_or(ActionResult::Raised);
}

void TForm1::EndIfRequested() {
  if (!end_requested_ || ending_) {
    return;
  }
  ending_ = true;
  messages_.Show(kEndedAfterWrite, MessageKind::Information, Buttons::Ok);
  view_.Quit();
}

void TForm1::ShowError(std::string_view text) {
  messages_.Show(text, MessageKind::Error, Buttons::Ok);
}

void TForm1::Busy(bool on) {
  view_.SetVisible(Control::Label6, on);
  view_.SetVisible(Control::ProgressBar1, on);
  if (!on) {
    view_.SetHourglass(false);
  }
}

void TForm1::Progress(int percent) {
  view_.SetProgress(percent);
  view_.ProcessMessages();
}

std::optional<CardSlot> TForm1::SelectedSlot() const {
  const int index = view_.SelectedItem();
  if (index < 0 || static_cast<std::size_t>(index) >= list_slots_.size()) {
    return std::nullopt;
  }
  return list_slots_[static_cast<std::size_t>(index)];
}

void TForm1::ShowState(CardState state, const std::string& serial, const std::string& customer) {
  state_ = state;
  const bool known = state == CardState::Revision12 || state == CardState::Revision13;
  view_.SetText(Control::Edit1, known ? std::string_view(serial) : kNotPresent);
  view_.SetText(Control::Edit2, known ? std::string_view(customer) : kNotPresent);
  view_.SetText(Control::Edit3, state == CardState::Revision12   ? kRevision12Text
                                : state == CardState::Revision13 ? kRevision13Text
                                                                 : kUnknownRevision);
  view_.SetVisible(Control::Memo1, state != CardState::Revision13);
  view_.SetEnabled(Control::Button2, state == CardState::Revision12);
  view_.SetEnabled(Control::Button3, state == CardState::Revision13);
}

ActionResult TForm1::StartUpCard(CardSlot slot, const std::string& directory) {
  // A card another program holds keeps its place in the list, so that the
  // numbers stay; nothing is sent to it, and its flag stays as that program set it.
  const auto held_by_other = [&](const std::string& text) {
    messages_.Show(text, MessageKind::Information, Buttons::Ok);
    view_.AddItem(kUnknownCard);
    list_slots_.push_back(slot);
    list_serials_.push_back(std::nullopt);
    return ActionResult::Refused;
  };
  // The flag also stays set after power-on on some cards, and after a program
  // that ended during its work, this one included: the user decides.
  if (sys_.host.IsCardBusy(slot) == 1) {
    const std::size_t index = list_slots_.size();
    const bool ask = take_over_all_ || take_over_card_ == static_cast<int>(index);
    if (!ask || messages_.Show(TakeOverQuestion(index), MessageKind::Question,
                               Buttons::YesNoDefaultNo) != Answer::Yes) {
      return held_by_other(NotTakenOverText(
          index, offers_ == RestoreOffers::Report ? console_program_ : std::string_view()));
    }
    sys_.host.ReleaseCard(slot);
  }
  try {
    sys_.slots.LoadCardProgram(slot, directory, kDspProgramFile);
  } catch (const RaisedError& error) {
    // A damaged program file: shown, and the card is read as after a failed load.
    ShowError(error.Text());
  }
  Wait(sys_.ports.clock, sys_.ports.protocol, kAfterLoadWait, "nach dem Laden des DSP-Programms");
  if (!Claim(slot)) {
    return held_by_other(HeldByOtherAtStartText(list_slots_.size()));
  }
  sys_.host.ClearBootDoneFlag(slot);
  const RecordV12 image = sys_.reader.ReadImageV12(slot);
  const RecordV13 record = sys_.reader.ReadCardRecord(slot);
  Release();
  const int revision = RecognizeRevision(image);
  if (revision == kRevision12) {
    view_.AddItem(image.Get(v12::CardName));
  } else if (revision == kRevision13) {
    view_.AddItem(record.CardName.view());
  } else {
    view_.AddItem(kUnknownCard);
  }
  list_slots_.push_back(slot);
  list_serials_.push_back(SerialNumberOf(image, record));
  return ActionResult::Done;
}

ActionResult TForm1::FormCreate() {
  return Guarded([&] {
    const std::string directory = ExecutableDirectory(sys_.ports.system);
    if (directory.empty()) {
      // Without its directory the DSP program file would be looked for by its
      // bare name in whatever the current directory is: no card is started.
      ShowError(ModulePathTooLongText());
    }
    for (CardSlot slot = 0; slot < kSlotCount && !directory.empty(); ++slot) {
      if (sys_.slots.OpenSlot(slot) != 1) {
        continue;
      }
      open_slot_ = slot;
      StartUpCard(slot, directory);
      open_slot_.reset();
    }
    for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
      sys_.slots.CloseSlot(slot);
    }
    if (!list_slots_.empty()) {
      view_.SelectItem(0);
    }
    ComboBox1Change();
    view_.SetVisible(Control::Button4, true);
    ReportUnfinishedWrites();
    return list_slots_.empty() ? ActionResult::Failed : ActionResult::Done;
  });
}

void TForm1::ShowCard(CardSlot slot) {
  const RecordV12 image = sys_.reader.ReadImageV12(slot);
  const RecordV13 record = sys_.reader.ReadCardRecord(slot);
  const int index = view_.SelectedItem();
  if (index >= 0 && static_cast<std::size_t>(index) < list_serials_.size()) {
    list_serials_[static_cast<std::size_t>(index)] = SerialNumberOf(image, record);
  }
  std::string identity;  // for the protocol: serial number and revision
  if (RecognizeRevision(image) == kRevision12) {
    shown_name_ = image.Get(v12::CardName);
    ShowState(CardState::Revision12, image.Get(v12::SerialNumber), image.Get(v12::Customer));
    identity = ", Seriennummer " + image.Get(v12::SerialNumber) + ", Revision 1.2";
  } else if (RecognizeRevision(record) == kRevision13) {
    shown_name_ = record.CardName.str();
    ShowState(CardState::Revision13, record.SerialNumber.str(), record.Customer.str());
    identity = ", Seriennummer " + record.SerialNumber.str() + ", Revision 1.3";
  } else {
    shown_name_ = kUnknownCard;
    ShowState(CardState::Unknown, {}, {});
  }
  if (sys_.ports.protocol.On()) {
    sys_.ports.protocol.Record("Karte in Steckplatz " + std::to_string(slot) + ": " + shown_name_ +
                               identity);
  }
}

ActionResult TForm1::ComboBox1Change() {
  return Guarded([&] {
    shown_name_.clear();
    const auto slot = SelectedSlot();
    // A card that cannot be opened is not touched: no window, no registers.
    if (!slot || sys_.slots.OpenSlot(*slot) != 1) {
      ShowState(CardState::NotPresent, {}, {});
      return ActionResult::Failed;
    }
    open_slot_ = slot;
    // A card another program holds is not read: shown as unknown.
    if (Claim(*slot)) {
      ShowCard(*slot);
      Release();
    } else {
      ShowState(CardState::Unknown, {}, {});
    }
    sys_.slots.CloseSlot(*slot);
    open_slot_.reset();
    return state_ == CardState::Revision12 || state_ == CardState::Revision13
               ? ActionResult::Done
               : ActionResult::Failed;
  });
}

ActionResult TForm1::Button1Click() {
  view_.Quit();
  return ActionResult::Done;
}

void TForm1::FormClose() {
  for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
    sys_.slots.CloseSlot(slot);
  }
}

}  // namespace fu
