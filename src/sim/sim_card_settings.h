#pragma once
// The card settings as pc.json writes them, and the check that they describe
// a card the record can be written to.

#include <optional>
#include <string>
#include <string_view>

#include "sim/sim_card_types.h"

namespace fu::sim {

// The "eraseClears" text: first and last byte, "0xD01000-0xD02FFF".
std::string EraseClearsText(const SimCardSettings& settings);

// Reads such a text (hex digits of either case) into eraseFrom and eraseTo;
// false, with nothing changed, for a text of another form.
bool ReadEraseClears(std::string_view text, SimCardSettings& settings);

// What makes the settings unusable, in German (code page 1252), beginning with
// the key: an erase range outside the flash, backwards, or one that leaves a
// byte of the record standing. None when they are fine.
std::optional<std::string> SettingsProblem(const SimCardSettings& settings);

}  // namespace fu::sim
