#include "app/protocol_start.h"

#include <algorithm>

#include "base/cp1252.h"
#include "flash/flash_backup.h"
#include "flash/update_journal.h"

namespace fu {

namespace {

// Upper case as Windows compares file names in code page 1252.
std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte != 0xF7 && byte != 0xFF)) {
      c = static_cast<char>(byte - 0x20);
    }
  }
  return upper;
}

std::string RefusedText(std::string_view file, bool journal) {
  std::string text = "Die Protokolldatei " + std::string(file);
  text += journal ? " ist das Änderungsprotokoll des Programms"_cp
                  : " trägt den Namen einer Sicherung des Programms"_cp;
  text += " und bleibt unberührt. Bitte eine andere Datei angeben. Das Programm beginnt nicht."_cp;
  return text;
}

}  // namespace

bool IsOwnedFile(std::string_view drive_path) {
  const std::string path = Upper(drive_path);
  if (path == UpdateJournal::kFileName || IsBackupFileName(path)) {
    return true;
  }
  for (CardSlot slot = 0; slot < kSlotCount; ++slot) {
    if (path == UpdateJournal::LegacyFileName(slot)) {
      return true;
    }
  }
  constexpr std::string_view kTemporary = ".TMP";
  return path.ends_with(kTemporary) &&
         IsBackupFileName(path.substr(0, path.size() - kTemporary.size()) + ".SAV");
}

std::unique_ptr<FileProtocol> OpenProtocol(const std::string& host_file, std::string_view program,
                                           Machine& machine, std::string_view command_line) {
  if (const auto path = machine.DrivePathOf(host_file); path && IsOwnedFile(*path)) {
    throw ProtocolFileError(
        RefusedText(HostTextToCp1252(host_file), Upper(*path).ends_with(".JNL")));
  }
  auto protocol = std::make_unique<FileProtocol>(host_file);
  protocol->StartClock(machine.Time());
  RecordProgramStart(*protocol, machine.Time(), program, machine.Platform(), command_line);
  return protocol;
}

void RecordProgramEnd(Protocol& protocol, int status) {
  if (protocol.On()) {
    protocol.Record(std::string("Ende, Rückgabewert "_cp) + std::to_string(status));
  }
}

std::unique_ptr<FileProtocol> StartProtocolFromArguments(std::span<const std::string> args,
                                                         std::string_view program,
                                                         Machine& machine) {
  const ProtocolOption option = FindProtocolOption(args);
  if (!option.error.empty()) {
    throw ProtocolFileError(option.error);
  }
  if (!option.given) {
    return nullptr;
  }
  return OpenProtocol(option.file, program, machine, HostTextToCp1252(CommandLineText(args)));
}

}  // namespace fu
