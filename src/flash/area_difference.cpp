#include "flash/area_difference.h"

#include <cstdio>

#include "base/cp1252.h"
#include "flash/backup_format.h"

namespace fu {

std::string AreaAddressText(std::size_t offset) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X",
                static_cast<unsigned>(kBackupAreaStart + static_cast<std::uint32_t>(offset)));
  return text;
}

std::optional<AreaDifference> CompareArea(std::span<const HostWord> area,
                                          std::span<const HostWord> should, std::size_t skip_from,
                                          std::size_t skip_to) {
  std::optional<AreaDifference> difference;
  for (std::size_t i = 0; i < area.size() && i < should.size(); ++i) {
    if ((i >= skip_from && i < skip_to) || area[i] == should[i]) {
      continue;
    }
    if (!difference) {
      difference = AreaDifference{false, i, i, 0};
    }
    difference->last = i;
    ++difference->count;
  }
  return difference;
}

std::string DifferenceField(const AreaDifference& difference) {
  return difference.unread
             ? std::string("unbekannt")
             : AreaAddressText(difference.first) + "-" + AreaAddressText(difference.last);
}

std::string DifferenceText(const AreaDifference& difference, std::string_view backup_file,
                           std::string_view restore_backup) {
  const bool restore = !restore_backup.empty();
  std::string text = restore
                         ? "Der Datensatz wurde aus der Sicherung " + std::string(backup_file) +
                               std::string(" zurückgeschrieben und stimmt mit ihr überein.\r\n"_cp)
                         : std::string("Der Datensatz wurde geschrieben und geprüft.\r\n"_cp);
  const std::string file =
      restore ? std::string("ihr") : "der Sicherung " + std::string(backup_file);
  if (difference.unread) {
    text += std::string(
                "Das Flash außerhalb des Datensatzes konnte danach nicht zweimal gleich "
                "gelesen werden; ob es "_cp) +
            file + " gleicht, ist nicht bekannt.";
  } else {
    const std::string where = difference.count == 1
                                  ? "1 Byte an Adresse " + AreaAddressText(difference.first)
                                  : std::to_string(difference.count) + " Bytes von Adresse " +
                                        AreaAddressText(difference.first) + " bis " +
                                        AreaAddressText(difference.last);
    text += std::string("Außerhalb des Datensatzes weicht das Flash der Karte aber von "_cp) +
            file + " ab: " + where +
            (restore ? std::string(". Dorthin schreibt dieses Programm nicht zurück, oder die "
                                   "Karte hat es nicht angenommen."_cp)
                     : std::string(". Die Karte hat dort vermutlich beim Löschen mehr gelöscht, "
                                   "als dieses Programm schreibt."_cp));
  }
  text +=
      "\r\nDie Sicherung " + std::string(backup_file) +
      std::string(" enthält den früheren Inhalt"_cp) +
      (restore ? ", die Sicherung " + std::string(restore_backup) +
                     std::string(" den Stand vor dem Zurückschreiben; bewahren Sie beide auf."_cp)
               : std::string("; bewahren Sie sie auf."));
  return text;
}

}  // namespace fu
