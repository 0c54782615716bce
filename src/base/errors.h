#pragma once
// The two errors that are raised instead of reported: both end the running user
// action and are shown by the application's error handler. Their text is code
// page 1252, ready for a message box.

#include <stdexcept>
#include <string>
#include <string_view>

namespace fu {

class RaisedError : public std::runtime_error {
 public:
  explicit RaisedError(const std::string& text) : std::runtime_error(text) {}
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

}  // namespace fu
