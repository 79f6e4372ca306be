# Turns one resource file into a C++ source that holds its bytes as a
# constant array, so that the program carries it in its read-only data.
# Run at build time (a plain CMake script, so a cross build needs no helper
# program that would have to run on the build machine):
#   cmake -DINPUT=<file> -DOUTPUT=<source.cpp> -DSYMBOL=<name> -DLABEL=<shown name> -P embed_file.cmake
foreach(var INPUT OUTPUT SYMBOL LABEL)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "embed_file.cmake: ${var} is not set")
    endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
if(digits EQUAL 0)
    # C++ has no empty arrays: one padding byte, and the size says 0.
    set(bytes "0")
    set(size "0")
else()
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    # Sixteen bytes to a line keeps the generated source readable.
    string(REPEAT "0x[0-9a-f][0-9a-f]," 16 row)
    string(REGEX REPLACE "(${row})" "\\1\n" bytes "${bytes}")
    math(EXPR count "${digits} / 2")
    set(size "${count}")
endif()

file(WRITE "${OUTPUT}"
"// Generated at build time from ${LABEL}; do not edit.
#include <cstdint>

namespace EmbeddedResourceData
{
extern const unsigned char ${SYMBOL}[];
extern const std::int32_t ${SYMBOL}Size;

const unsigned char ${SYMBOL}[] = {
${bytes}};
const std::int32_t ${SYMBOL}Size = ${size};
} // namespace EmbeddedResourceData
")
