#include "qt_text.h"

#include "base/cp1252.h"
#include "base/visible_text.h"

namespace fu {

QString FromCp1252(std::string_view text) {
  return QString::fromStdString(Cp1252ToUtf8(text));
}

QString MessageText(std::string_view text) {
  QString decoded = FromCp1252(VisibleText(text));
  decoded.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  decoded.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return decoded;
}

}  // namespace fu
