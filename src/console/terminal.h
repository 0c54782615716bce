#pragma once
// Whether the program's standard input is an interactive terminal, so that a
// question can be asked there.

namespace fu {

bool StandardInputIsTerminal();

}  // namespace fu
