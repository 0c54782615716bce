#pragma once
// The backup of a card's 64 KiB flash area to a file on drive C:, taken before
// every write: read from the card twice and compared, written under a temporary
// name, flushed to disk, read back and compared, and only then given its backup
// name. A write may only erase the card when the backup came out whole and
// equal; a backup name never holds half a file.

#include <functional>
#include <string>
#include <vector>

#include "flash/flash_commands.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_service.h"
#include "platform/protocol.h"

namespace fu {

enum class BackupOutcome {
  Ok,               // the file holds the whole area and reads back equal
  ReadIncomplete,   // the card did not deliver the whole area; no file written
  ReadsDiffer,      // two reads of the area differ; no file written
  ReadBackDiffers,  // the file did not read back as written; it was removed
};

struct BackupResult {
  BackupOutcome outcome = BackupOutcome::ReadIncomplete;
  std::string fileName;        // the backup file (code page 1252), empty when none
  std::vector<HostWord> area;  // what the file holds, one flash byte per word, when Ok
  std::uint32_t fileCrc = 0;   // the CRC-32 of the file's bytes, when Ok
  bool Ok() const { return outcome == BackupOutcome::Ok; }
};

// "C:\FLASH_" + slot + "_" + date, without the ".SAV": characters of the date that
// a file name cannot hold, and a dot beside another or at the date's end, become
// '-', so that IsBackupFileName accepts every name built on it.
std::string BackupFileStem(CardSlot slot, std::string_view short_date);
// The name a backup is written under until it is complete: ".SAV" becomes ".TMP".
std::string TemporaryName(std::string_view backup_name);
// Whether path is a backup name this program forms: "C:\FLASH_" + slot 0..3 +
// "_" + a date (a number ".n" included) + ".SAV", at the root of drive C:. The
// date holds no separator, ':', "..", control character or other character a
// file name cannot hold, so the name reaches no other folder, drive, machine or
// device.
bool IsBackupFileName(std::string_view path);

// Reads the card's 64 KiB area into area twice: Ok only when both reads
// arrived whole and agree, so a card answering wrong bytes is not believed.
BackupOutcome ReadAreaTwice(FlashCommands& flash, CardSlot slot, std::vector<HostWord>& area);

class FlashBackup {
 public:
  // mentioned tells whether the journal names a file: such a name is never given
  // to a new backup, even when its file is gone.
  FlashBackup(FlashCommands& flash, Files& files, Clock& clock, MessageService& messages,
              Protocol& protocol = NoProtocol(),
              std::function<bool(std::string_view path)> mentioned = nullptr)
      : flash_(flash),
        files_(files),
        clock_(clock),
        messages_(messages),
        protocol_(protocol),
        mentioned_(std::move(mentioned)) {}

  // Reads the area and saves it under the first unused name of FLASH_s_d.SAV,
  // FLASH_s_d.1.SAV, FLASH_s_d.2.SAV, ...; no backup file is ever replaced, and
  // no name the journal mentions is taken.
  // Shows a message for each failure it reports. A file that cannot be created,
  // written, flushed, read back or renamed raises FileError; the temporary file
  // is removed then, as far as the drive lets it.
  BackupResult BackupFlash(CardSlot slot);

 private:
  std::string UnusedFileName(CardSlot slot);
  // Writes, flushes and reads back the area; false (shown) when it differs.
  bool WriteAndCompare(const std::string& temporary, std::span<const HostWord> area);
  void Discard(const std::string& temporary);

  FlashCommands& flash_;
  Files& files_;
  Clock& clock_;
  MessageService& messages_;
  Protocol& protocol_;
  std::function<bool(std::string_view path)> mentioned_;
};

}  // namespace fu
