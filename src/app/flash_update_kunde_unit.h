#pragma once
// The main window's controller, TForm1: start-up, the card list and the
// selection refresh, the three update actions and the application's error
// handler at every event. It drives the window through the view port and knows
// no toolkit.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/console_program.h"
#include "app/flash_update_system.h"
#include "platform/end_requests.h"
#include "platform/main_window_view.h"

namespace fu {

inline constexpr std::string_view kDspProgramFile = "QX4FLASH_PCI.PCI";

// How an event ended, for front ends that report it (the console's exit status).
enum class ActionResult {
  Done,      // what the user asked for happened
  Failed,    // it did not; the user was told why
  Declined,  // the user said No
  Raised,    // a raised error ended it; the error handler showed it
  Refused,   // not possible for the selected card (nothing selected, wrong revision)
};

// What the window shows for the selected card after a refresh.
enum class CardState { Revision12, Revision13, Unknown, NotPresent };

// What the program does about a card's unfinished write. Ask: the window asks
// whether to restore it now (at start-up and after a failed write). Report: the
// console front end tells once per command how to restore it and asks nothing;
// only its "restore" command writes the card back.
enum class RestoreOffers { Ask, Report };

class TForm1 {
 public:
  // console_program: the console program the restore hints tell the user to
  // run, the one for the same PC as this program.
  TForm1(FlashUpdateSystem& system, MainWindowView& view, RestoreOffers offers = RestoreOffers::Ask,
         std::string_view console_program = kConsoleProgram);

  // Where the program's end requests arrive. Each write holds them from its
  // backup to its journal's closing line; one that arrived meanwhile ends the
  // program once the event is done. Without a call no request ever arrives.
  void SetEndRequests(EndRequests& requests) { end_requests_ = &requests; }

  // Of the cards found busy at start-up, only the one of list item index is
  // asked about taking it over (none when nothing is given); the others are left
  // alone. Without a call every such card is asked about, as the window does.
  void TakeOverOnly(std::optional<int> index) {
    take_over_all_ = false;
    take_over_card_ = index;
  }

  ActionResult FormCreate();
  // The selection refresh: shows what the selected card's flash holds now.
  ActionResult ComboBox1Change();
  ActionResult Button1Click();  // Exit
  ActionResult Button2Click();  // Flash upgraden
  ActionResult Button3Click();  // Flash downgraden
  ActionResult Button4Click();  // Dump
  // Writes the selected card's record area back from a backup file (the console
  // front end's "restore"; the window has no control for it).
  ActionResult RestoreClick(std::string_view backup_file);
  // Writes the selected card back from its restore point, the backup taken
  // before its unfinished write (the console's "restore" without a file).
  ActionResult RestorePointClick();
  // Gives up the selected card's restore point after a question (default No),
  // only when its backup can no longer bring the card back (the console's
  // "abandon"); the card can then be converted again.
  ActionResult AbandonClick();
  void FormClose();

  // Whether the selected card has an unfinished write: its upgrade and downgrade
  // are refused with a message that names the restore.
  bool SelectedHasOpenWrite() const;

  // The card slot of each list item, in list order.
  const std::vector<CardSlot>& ListSlots() const { return list_slots_; }
  CardState SelectedState() const { return state_; }
  // The backup file the last action wrote, empty when none.
  const std::string& LastBackupFile() const { return last_backup_; }
  // After a write or restore that succeeded: where the flash beyond the record
  // differs from what it should hold (told to the user); nothing otherwise.
  const std::optional<AreaDifference>& LastDifference() const { return last_difference_; }
  // The selected card's name as its record reads now (after a write it may differ
  // from its list item, which keeps the name read at start-up); empty when the
  // last refresh read no record.
  const std::string& ShownCardName() const { return shown_name_; }

 private:
  // Runs an event under the error handler: a raised error is shown, the busy
  // flag this program set is released and the window returns to idle.
  ActionResult Guarded(const std::function<ActionResult()>& event);
  // Sets the card's busy flag for this program's work on it: true when the card
  // was free. Release clears it only when this program set it; a crash leaves it
  // set, as on a real PC.
  bool Claim(CardSlot slot);
  void Release();
  std::optional<CardSlot> SelectedSlot() const;
  void ShowCard(CardSlot slot);
  // Opens the selected card for an action; tells the user when it cannot.
  std::optional<CardSlot> OpenForAction();
  // Back to idle after an action: busy display off, the card released, the slot
  // closed; EndAction also refreshes the window.
  void CloseAction(CardSlot slot);
  void ReleaseAction(CardSlot slot);
  void EndAction(CardSlot slot);
  // A record that does not read as the revision the action needs: told, nothing
  // written.
  ActionResult RefuseUnreadable(CardSlot slot);
  void ShowState(CardState state, const std::string& serial, const std::string& customer);
  void ShowError(std::string_view text);
  void Busy(bool on);
  void Progress(int percent);
  ActionResult StartUpCard(CardSlot slot, const std::string& directory);

  // The end requests as the writer holds them: a request that arrived during a
  // write is noted, to be carried out after the event.
  class WriteEndRequests : public EndRequests {
   public:
    explicit WriteEndRequests(TForm1& form) : form_(form) {}
    void Hold() override { form_.end_requests_->Hold(); }
    bool Release() override {
      const bool requested = form_.end_requests_->Release();
      form_.end_requested_ = form_.end_requested_ || requested;
      return requested;
    }

   private:
    TForm1& form_;
  };
  // After an event: an end requested during its write is said once and done.
  void EndIfRequested();

  // An update action under the error handler: the busy window, the slot opened,
  // action run; FinishWrite reports the write and returns to idle.
  ActionResult RunWriteAction(ActionResult (TForm1::*action)(CardSlot));
  ActionResult FinishWrite(CardSlot slot, bool written);
  // An upgrade or downgrade of a card with an unfinished write is refused before
  // anything is written: the card's record may be half written.
  std::optional<ActionResult> RefuseOverOpenWrite(CardSlot slot);
  ActionResult Upgrade(CardSlot slot);
  ActionResult Downgrade(CardSlot slot);
  ActionResult Dump(CardSlot slot);
  // Tells the user of every write that was begun and never finished, and offers
  // (or, in Report mode, explains) each listed card's restore from its restore point.
  void ReportUnfinishedWrites();
  // Tells that the backup of the card's unfinished write cannot bring it back,
  // and the ways out; in Report mode once per run in full. failed: right after a
  // write that failed and changed the card.
  void ShowMissingBackup(int index, const JournalEntry& open, BackupState state,
                         bool failed = false);
  // How the journal knows list item index: by its serial number when its record
  // reads, else as the card last written in its slot (unless that one is listed
  // elsewhere).
  JournalEntry CardOf(int index) const;
  // Report mode: tells once per run how the card of list item index is restored.
  void ReportRestorePoint(int index, const JournalEntry& point);
  // The restore under the busy window, for the selected card.
  ActionResult RestoreSelected(std::string_view backup_file, FileOwner owner);
  // Asks whether the card of list item index goes back to the backup taken before
  // its unfinished write; restores it on Yes. True when restored.
  bool OfferRestore(int index, std::string_view serial, std::string_view backup_file);
  // After a failed write that may have changed the selected card: the same offer
  // at once.
  void OfferRestoreAfterFailure();

  // The serial number of each list item's card as last read; none when its
  // record could not be read.
  std::vector<std::optional<std::string>> list_serials_;
  std::vector<int> restored_at_start_;  // list items restored at start-up
  bool recovering_ = false;             // a restore offered by this program runs
  bool take_over_all_ = true;           // every card found busy is asked about
  std::optional<int> take_over_card_;   // else only this one
  std::vector<std::string> reported_;   // backups whose restore was explained
  HeldEndRequests no_end_requests_;
  EndRequests* end_requests_ = &no_end_requests_;
  WriteEndRequests write_end_requests_{*this};
  bool end_requested_ = false;  // during a write; the program ends after it
  bool ending_ = false;         // said and asked the view to quit

  FlashUpdateSystem& sys_;
  MainWindowView& view_;
  MessageService& messages_;
  RestoreOffers offers_;
  std::string console_program_;
  std::optional<CardSlot> claimed_;  // the card whose busy flag this program set
  std::vector<CardSlot> list_slots_;
  CardState state_ = CardState::NotPresent;
  std::optional<CardSlot> open_slot_;  // opened by the running action
  std::string last_backup_;
  std::optional<AreaDifference> last_difference_;
  std::string shown_name_;
};

}  // namespace fu
