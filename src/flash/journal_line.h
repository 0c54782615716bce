#pragma once
// One entry of the update journal as a line of code page 1252 text:
//
//   begonnen<TAB>Steckplatz=0<TAB>Seriennummer=RTC-0311-0007<TAB>Vorgang=upgrade
//   <TAB>Sicherung=C:\FLASH_0_05.03.2003.SAV<TAB>Bytes=262152<TAB>Inhalt-CRC32=5E6F7A8B
//   <TAB>Zeit=05.03.2003 14:07:09<TAB>Version=1.3.0<TAB>CRC32=1A2B3C4D<CR><LF>
//
// (one line in the file). Zeit is the local date and time of day the line was
// written, for support to match a journal to a call; older lines lack it. Bytes and Inhalt-CRC32
// bind the entry to its backup's content: the file's size and the CRC-32 of all its bytes. Version
// names the program that wrote the line, and so the backup the line names; lines of earlier
// versions lack these fields. A restore of another card's file notes that card's serial number as
// "<TAB>Seriennummer-Sicherung=...". A write is closed by a line that begins with "fertig", with
// "unverändert" when it failed and left the card as it was, or with "aufgegeben" when the user gave
// up its restore point. The CRC-32 covers everything before
// "<TAB>CRC32=", so a line torn by a crash or changed on disk is recognised. Control characters and
// '%' in a value are written as %XX.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dsplink/window_table.h"

namespace fu {

struct JournalEntry {
  CardSlot slot = 0;
  std::string serialNumber;  // code page 1252
  std::string backupFile;
  std::string operation;  // "upgrade", "downgrade", "restore"
  bool done = false;
  // Done without a change: the write failed, and the card still equals the
  // entry's backup.
  bool unchanged = false;
  // Done: where the flash beyond the record differed from what the write should
  // have left ("0xD02E00-0xD02E43", "unbekannt"); empty when it did not.
  std::string difference = {};
  // The backup file's size and the CRC-32 of its bytes; a size of 0 when the
  // line comes from a version that did not note them.
  std::uint32_t backupSize = 0;
  std::uint32_t backupCrc = 0;
  // A restore: the serial number of the card whose backup file it wrote, when
  // that is not the card written (the user named another card's file).
  std::string fileSerial = {};
  // Done without a restore: the user gave up the restore point of a write whose
  // backup could no longer bring the card back.
  bool abandoned = false;
  // When the line was written ("05.03.2003 14:07:09"); empty in older lines.
  std::string time = {};
  friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

// Whether two entries name the same card: by serial number, or, for cards
// without one, by slot. Every restore point is found by it.
bool SameCard(const JournalEntry& a, const JournalEntry& b);

namespace journal_line {
// The first line of a journal file begins with it; this version follows it as
// "<TAB>Version=1.3.0", earlier ones wrote it alone.
inline constexpr std::string_view kHeader = "FlashUpdate-Journal 2";
// Ends a torn last line when the next entry is appended after it.
inline constexpr std::string_view kTornMark = "\t#abgebrochen";
}  // namespace journal_line

// The header line this program writes, without its line end.
std::string JournalHeaderLine();
// Whether the line (without its line end) is a header of this journal format.
bool IsJournalHeader(std::string_view line);

// The entry's line, with its CR LF.
std::string EncodeJournalLine(const JournalEntry& entry);
// The entry of a line without its line end; nothing when the line is no entry
// or fails its check.
std::optional<JournalEntry> DecodeJournalLine(std::string_view line);
// Whether the line ends with a check field of the right form ("<TAB>CRC32=" and
// eight hex digits), whatever the check says: a line a crash tore off never
// does, so such a line that fails its check was changed, not torn.
bool HasCheckField(std::string_view line);

}  // namespace fu
