#pragma once

// Read before any rapidjson header (the build includes it first in every
// file that may use rapidjson). rapidjson aligns what its pool allocates to
// 4 bytes on 32-bit machines, but its values hold 64-bit numbers, which ARM
// compilers load with instructions that need 8-byte alignment: a value at a
// 4-byte boundary ends in a bus error. Every user gets the same 8-byte rule,
// so all of them agree on the pool's layout.
#define RAPIDJSON_ALIGN(x) (((x) + static_cast<size_t>(7u)) & ~static_cast<size_t>(7u))
