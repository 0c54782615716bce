#include "sim/sim_error_text.h"

#include <new>
#include <nlohmann/json.hpp>

#include "base/cp1252.h"
#include "base/errors.h"

namespace fu::sim {

namespace fs = std::filesystem;
using nlohmann::json;

std::string FolderText(const fs::path& folder) {
  const std::u8string utf8 = folder.u8string();
  return Utf8ToCp1252(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

std::string Quoted(std::string_view utf8) {
  return "\"" + Utf8ToCp1252(utf8) + "\"";
}

std::string SystemErrorText(const std::error_code& ec) {
  struct Entry {
    std::errc code;
    std::string_view text;
  };
  static constexpr Entry kTexts[] = {
      {std::errc::no_such_file_or_directory, "Datei oder Verzeichnis nicht gefunden"},
      {std::errc::not_a_directory, "Kein Verzeichnis"},
      {std::errc::is_a_directory, "Ist ein Verzeichnis"},
      {std::errc::permission_denied, "Zugriff verweigert"},
      {std::errc::operation_not_permitted, "Zugriff verweigert"},
      {std::errc::read_only_file_system, "Datenträger schreibgeschützt"_cp},
      {std::errc::no_space_on_device, "Datenträger voll"_cp},
      {std::errc::file_exists, "Datei existiert bereits"},
      {std::errc::directory_not_empty, "Verzeichnis nicht leer"},
      {std::errc::filename_too_long, "Dateiname zu lang"},
      {std::errc::too_many_files_open, "Zu viele Dateien geöffnet"_cp},
      {std::errc::too_many_symbolic_link_levels, "Zu viele symbolische Verknüpfungen"_cp},
      {std::errc::device_or_resource_busy, "Gerät oder Ressource belegt"_cp},
      {std::errc::io_error, "Ein-/Ausgabefehler"},
  };
  for (const Entry& entry : kTexts) {
    if (ec == entry.code) {
      return std::string(entry.text);
    }
  }
  return "Systemfehler " + std::to_string(ec.value());
}

std::string ExceptionText(const std::exception& e) {
  if (dynamic_cast<const FolderError*>(&e) != nullptr) {
    return e.what();
  }
  if (const auto* raised = dynamic_cast<const RaisedError*>(&e)) {
    return std::string(raised->Text());
  }
  if (const auto* parse = dynamic_cast<const json::parse_error*>(&e)) {
    return std::string("kein gültiges JSON, Fehler bei Byte "_cp) + std::to_string(parse->byte);
  }
  if (const auto* range = dynamic_cast<const json::out_of_range*>(&e)) {
    // 403 is a missing key; its text names the key between single quotes.
    const std::string_view what = range->what();
    const auto open = what.find('\'');
    const auto close = open == std::string_view::npos ? open : what.find('\'', open + 1);
    if (range->id == 403 && close != std::string_view::npos) {
      return "der Eintrag " + Quoted(what.substr(open + 1, close - open - 1)) + " fehlt";
    }
    return std::string("ein Eintrag fehlt oder ein Wert ist zu groß"_cp);
  }
  if (dynamic_cast<const json::type_error*>(&e) != nullptr) {
    return "ein Eintrag hat nicht den erwarteten Typ";
  }
  if (const auto* other = dynamic_cast<const json::exception*>(&e)) {
    return "JSON-Fehler " + std::to_string(other->id);
  }
  if (const auto* file = dynamic_cast<const fs::filesystem_error*>(&e)) {
    std::string text = SystemErrorText(file->code());
    if (!file->path1().empty()) {
      text += " (" + FolderText(file->path1()) + ")";
    }
    return text;
  }
  if (const auto* system = dynamic_cast<const std::system_error*>(&e)) {
    return SystemErrorText(system->code());
  }
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) {
    return "zu wenig Arbeitsspeicher";
  }
  return "unerwarteter Fehler";
}

}  // namespace fu::sim
