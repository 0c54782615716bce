#pragma once
// The system's texts are code page 1252 bytes; Qt wants Unicode.

#include <QString>
#include <string_view>

namespace fu {

// Decodes code page 1252, including the characters at 0x80..0x9F such as the euro sign.
QString FromCp1252(std::string_view text);

// A message for a box: decoded, each CR LF (or lone CR) a line break.
QString MessageText(std::string_view text);

}  // namespace fu
