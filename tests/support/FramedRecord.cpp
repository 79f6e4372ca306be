#include "FramedRecord.h"

#include <cstdint>

std::string FramedRecord(const std::string& text, const unsigned char* identifier)
{
    std::string record(reinterpret_cast<const char*>(identifier), 16);
    const auto length = static_cast<std::uint32_t>(text.size());
    for (int shift = 0; shift < 32; shift += 8) {
        record += static_cast<char>((length >> shift) & 0xFF);
    }
    return record + text;
}
