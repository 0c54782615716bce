#include "flash/backup_format.h"

#include "base/cp1252.h"
#include "base/hex_text.h"

namespace fu {

namespace {

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
}

std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    v |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  }
  return v;
}

std::string Hex8(std::uint32_t v) {
  return "0x" + HexText(v);
}

std::string CheckWords(const BackupFile& file) {
  return std::string("Parität gespeichert "_cp) + std::to_string(file.storedParity) +
         ", berechnet " + std::to_string(file.parity) + "; Anzahl gespeichert " +
         std::to_string(file.storedCount) + ", berechnet " + std::to_string(file.count);
}

}  // namespace

std::uint32_t OddByteCount(std::span<const HostWord> words) {
  std::uint32_t count = 0;
  for (const HostWord w : words) {
    count += w & 1u;
  }
  return count;
}

std::uint32_t OddByteParity(std::span<const HostWord> words) {
  return OddByteCount(words) % 2 == 0 ? 1 : 0;
}

std::vector<std::uint8_t> EncodeBlockWithChecks(std::span<const HostWord> words) {
  std::vector<std::uint8_t> out;
  out.reserve(words.size() * kBackupEntryBytes + 8);
  for (const HostWord w : words) {
    PutLe32(out, w);
  }
  PutLe32(out, OddByteParity(words));
  PutLe32(out, OddByteCount(words));
  return out;
}

BackupFile ParseBackupFile(std::span<const std::uint8_t> bytes) {
  BackupFile file;
  file.size = bytes.size();
  if (bytes.size() != kBackupFileSize) {
    file.check = BackupCheck::WrongSize;
    return file;
  }
  std::vector<HostWord> words(kBackupWords);
  for (std::size_t k = 0; k < kBackupWords; ++k) {
    words[k] = GetLe32(bytes, k * kBackupEntryBytes);
    if (words[k] > 0xFF) {
      file.check = BackupCheck::EntryNotAByte;
      file.badEntry = k;
      file.badEntryValue = words[k];
      return file;
    }
  }
  file.flash.assign(words.begin(), words.end());
  file.storedParity = GetLe32(bytes, kBackupWords * kBackupEntryBytes);
  file.storedCount = GetLe32(bytes, kBackupWords * kBackupEntryBytes + 4);
  file.parity = OddByteParity(words);
  file.count = OddByteCount(words);
  const bool parityOk = file.storedParity == file.parity;
  const bool countOk = file.storedCount == file.count;
  if (parityOk && countOk) {
    file.check = BackupCheck::Ok;
  } else if (countOk) {
    file.check = BackupCheck::ParityWrong;
  } else if (parityOk) {
    file.check = BackupCheck::CountWrong;
  } else {
    file.check = BackupCheck::ParityAndCountWrong;
  }
  return file;
}

std::string BackupCheckText(const BackupFile& file) {
  switch (file.check) {
    case BackupCheck::Ok:
      return std::string("Prüfworte in Ordnung ("_cp) + CheckWords(file) + ")";
    case BackupCheck::WrongSize:
      return std::string("Eine Sicherungsdatei hat "_cp) + std::to_string(kBackupFileSize) +
             " Bytes, diese hat " + std::to_string(file.size) + ".";
    case BackupCheck::EntryNotAByte:
      return std::string("Eintrag "_cp) + std::to_string(file.badEntry) + " hat den Wert " +
             Hex8(file.badEntryValue) + "; ein Eintrag darf nur ein Byte (0 bis 255) halten.";
    case BackupCheck::ParityWrong:
      return std::string("Das Paritätswort ist falsch ("_cp) + CheckWords(file) + ").";
    case BackupCheck::CountWrong:
      return std::string("Das Anzahlwort ist falsch ("_cp) + CheckWords(file) + ").";
    case BackupCheck::ParityAndCountWrong:
      return std::string("Paritätswort und Anzahlwort sind falsch ("_cp) + CheckWords(file) + ").";
  }
  return {};
}

}  // namespace fu
