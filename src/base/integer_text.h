#pragma once
// Reading integers from texts the way the record and program files write them.

#include <cstdint>
#include <optional>
#include <string_view>

namespace fu {

// Optional leading blanks, then an optional sign and decimal digits within the
// signed 32-bit range, or '$' and hexadecimal digits within 32 bits; nothing may
// follow. The empty text and anything else give no value.
std::optional<std::int32_t> ReadInteger(std::string_view text);

}  // namespace fu
