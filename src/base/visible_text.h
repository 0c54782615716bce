#pragma once
// Message texts may carry bytes from a card's record or a file. A byte that no
// front end can show (a control character, or one of the code page's unused
// bytes) is written as "\xNN", so that it can neither cut the message short nor
// vanish; line breaks and tabs stay as they are.

#include <string>
#include <string_view>

namespace fu {

// The text (code page 1252) with every byte that shows no character escaped.
std::string VisibleText(std::string_view text);

}  // namespace fu
