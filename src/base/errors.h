#pragma once
// The two errors that are raised instead of reported: both end the running user
// action and are shown by the application's error handler. Their text is code
// page 1252, ready for a message box.

#include <stdexcept>
#include <string>
#include <string_view>

#include "base/visible_text.h"

namespace fu {

class RaisedError : public std::runtime_error {
 public:
  // what() ends at a NUL: bytes of a record in the text are made visible first.
  explicit RaisedError(const std::string& text) : std::runtime_error(VisibleText(text)) {}
  std::string_view Text() const { return what(); }
};

// A text that should have been an integer: "'%s' ist kein gültiger Integerwert".
class IntegerConversionError : public RaisedError {
 public:
  explicit IntegerConversionError(std::string_view offending);
  const std::string& Offending() const { return offending_; }

 private:
  std::string offending_;
};

// An input/output error of a file, by the system's error code: 2 "Datei nicht
// gefunden", 3 "Ungültiger Dateiname", 4 "Zu viele Dateien geöffnet", 5
// "Dateizugriff verweigert", 100 "Lesen nach Dateiende (EOF)" (a short read), any
// other "I/O-Fehler %d".
class FileError : public RaisedError {
 public:
  explicit FileError(int code);
  int Code() const { return code_; }

  static constexpr int kFileNotFound = 2;
  static constexpr int kPathNotFound = 3;
  static constexpr int kTooManyOpenFiles = 4;
  static constexpr int kAccessDenied = 5;
  static constexpr int kReadPastEnd = 100;
  static constexpr int kDiskFull = 112;

 private:
  int code_;
};

}  // namespace fu
