// Splitting: the first byte is the delimiter, the second the removed character.
#include "StringOperation.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const char delimiter = static_cast<char>(data[0]);
    const char remove = static_cast<char>(data[1]);
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);

    const std::vector<std::string> pieces = StringOperation::SplitString(text, delimiter);
    std::string collapsed;
    for (const std::string& piece : pieces) {
        if (piece.empty() || piece.find(delimiter) != std::string::npos) {
            std::abort();
        }
        collapsed += piece;
    }
    // Nothing but the delimiters is lost.
    std::string withoutDelimiters;
    for (const char c : text) {
        if (c != delimiter) {
            withoutDelimiters += c;
        }
    }
    if (collapsed != withoutDelimiters) {
        std::abort();
    }

    for (const std::string& piece : StringOperation::SplitString(text, delimiter, remove)) {
        if (piece.empty() || piece.find(remove) != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
