#pragma once

#include <cstddef>

// The plainest decode of a PNG page as the presenter shows it: libpng alone,
// with the presenter's transformations (palette to RGB, transparency to
// alpha or an opaque filler byte, blue-green-red order), from bytes in
// memory into rows the caller gives, each wide enough for the image at 4
// bytes per pixel. The baseline that the benchmarks set the program against.
// False when the bytes do not decode.
bool BarePngDecode(const unsigned char* bytes, std::size_t size, unsigned char* const* rows);
