// Version texts: never ends the program, and a refused text is 0.0.0.
#include "Version.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Version version(text);
    if (!Version::IsValidVersionString(text) && version != Version()) {
        std::abort();
    }
    if (version < version || !(version <= version) || version != Version(version.major, version.minor, version.patch)) {
        std::abort();
    }
    return 0;
}
