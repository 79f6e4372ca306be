#pragma once

// Checks shared by the board EEPROM fuzz targets: what the file table may
// hand out from an arbitrary chip image.
#include "ModelI2CBus.h"
#include "QnxEEPromHandler.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace ImageChecks {

inline void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// The chip holding `image` padded with erased bytes, with no write cycle to
// wait for (the drivers pause after every page anyway).
inline std::shared_ptr<ModelI2CBus> BoardWith(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> image(data, data + std::min<std::size_t>(size, 32768));
    image.resize(32768, 0xFF);
    return std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(), std::move(image), std::chrono::microseconds(0));
}

// Independent of the handler: the record as the table names it, checked by hand.
inline bool IntactOnChip(const std::vector<std::uint8_t>& memory, const QnxEEPromHandler::FileEntry& entry,
                         const std::vector<unsigned char>& record)
{
    if (record.size() <= 2 || record.size() != entry.size || std::size_t(entry.start) + entry.size > memory.size()) {
        return false;
    }
    unsigned int crc = 0;
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (record[i] != memory[entry.start + i]) {
            return false;
        }
        if (i < 2) {
            continue;
        }
        crc ^= record[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xA001u : crc >> 1;
        }
    }
    return record[0] + 256u * record[1] == (~crc & 0xFFFFu);
}

// Every file reads as nothing or as exactly the intact record the table names.
inline void CheckEveryFile(ModelI2CBus& bus, const QnxEEPromHandler& handler)
{
    for (unsigned int i = 0; i < 3; ++i) {
        const auto file = static_cast<EEPromHandler::FilesInEEProm>(i);
        const auto record = handler.ReadCurrentFile(file);
        if (!record.empty()) {
            Check(IntactOnChip(bus.Memory(), handler.GetFileTable()[i], record));
        }
        Check(handler.Read(file).size() == (record.empty() ? 0 : record.size() - 2));
    }
}

} // namespace ImageChecks
