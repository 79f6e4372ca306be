#include "BoardImage.h"

#include "EEPromHelper.h"

namespace BoardImage {

std::vector<std::uint8_t> Erased(std::size_t size)
{
    return std::vector<std::uint8_t>(size, 0xFF);
}

std::vector<std::uint8_t> Record(const std::string& payload)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(payload.data());
    const unsigned short check = EEPromHelper::CheckWord(bytes, payload.size());
    std::vector<std::uint8_t> record(2 + payload.size());
    record[0] = static_cast<std::uint8_t>(check & 0xFF);
    record[1] = static_cast<std::uint8_t>(check >> 8);
    std::copy(payload.begin(), payload.end(), record.begin() + 2);
    return record;
}

void PutEntry(std::vector<std::uint8_t>& image, unsigned int file, unsigned short start, unsigned short size)
{
    const auto entry = EEPromHelper::ConstructFileMetaDataBuffer(start, size);
    std::copy(entry.begin(), entry.end(), image.begin() + 4 + 4 * static_cast<std::ptrdiff_t>(file));
}

unsigned short PutFile(std::vector<std::uint8_t>& image, unsigned int file, unsigned short start,
                       const std::string& payload)
{
    const auto record = Record(payload);
    std::copy(record.begin(), record.end(), image.begin() + start);
    PutEntry(image, file, start, static_cast<unsigned short>(record.size()));
    return static_cast<unsigned short>(record.size());
}

} // namespace BoardImage
