#include "base/errors.h"

#include "base/cp1252.h"

namespace fu {

namespace {

std::string ConversionText(std::string_view offending) {
  std::string text = "'";
  text += offending;
  text += "' ist kein gültiger Integerwert"_cp;
  return text;
}

std::string FileErrorText(int code) {
  switch (code) {
    case FileError::kFileNotFound:
      return "Datei nicht gefunden";
    case FileError::kPathNotFound:
      return std::string("Ungültiger Dateiname"_cp);
    case FileError::kTooManyOpenFiles:
      return std::string("Zu viele Dateien geöffnet"_cp);
    case FileError::kAccessDenied:
      return "Dateizugriff verweigert";
    case FileError::kReadPastEnd:
      return "Lesen nach Dateiende (EOF)";
    default:
      return "I/O-Fehler " + std::to_string(code);
  }
}

}  // namespace

FileError::FileError(int code) : RaisedError(FileErrorText(code)), code_(code) {}

IntegerConversionError::IntegerConversionError(std::string_view offending)
    : RaisedError(ConversionText(offending)), offending_(offending) {}

}  // namespace fu
