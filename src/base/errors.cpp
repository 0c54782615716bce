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

}  // namespace

IntegerConversionError::IntegerConversionError(std::string_view offending)
    : RaisedError(ConversionText(offending)), offending_(offending) {}

}  // namespace fu
