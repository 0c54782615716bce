# Writes a C++ source that holds a file's bytes, so a program carries the file
# inside it. Run as: cmake -DINPUT=file -DOUTPUT=source.cpp -DSYMBOL=name -P embed_bytes.cmake
# The source defines fu::sim::<SYMBOL> as a std::span<const std::uint8_t>.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes a line keeps the generated source readable.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.new"
"// Generated from ${name} at build time; do not edit.
#include <cstdint>
#include <span>

namespace fu::sim {

namespace {
constexpr std::uint8_t kBytes[${size}] = {
    ${bytes}};
}  // namespace

extern const std::span<const std::uint8_t> ${SYMBOL}(kBytes, ${size});

}  // namespace fu::sim
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
