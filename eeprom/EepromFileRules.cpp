#include "EepromFileRules.h"

#include "EEPromHelper.h"
#include "EepromPaging.h"

namespace EepromFileRules {

namespace {

constexpr unsigned short NoRoom = 0xFFFF;

} // namespace

bool IsEntryValid(const FileEntry& entry)
{
    return EEPromHelper::IsAddressValid(entry.start) && EEPromHelper::IsSizeValid(entry.size);
}

bool Overlaps(const FileEntry& entry, unsigned int start, std::size_t len)
{
    const unsigned int end = start + static_cast<unsigned int>(len);
    return IsEntryValid(entry) && start < static_cast<unsigned int>(entry.start) + entry.size && entry.start < end;
}

unsigned short NextFreeStart(const Table& table)
{
    const FileEntry* highest = nullptr;
    for (const FileEntry& entry : table) {
        if (EEPromHelper::IsAddressValid(entry.start) && (highest == nullptr || entry.start > highest->start))
            highest = &entry;
    }
    if (highest == nullptr)
        return EEPromHelper::FilesInEEPromStartOffset;
    // In 32 bits: a corrupt table must not wrap the next start back onto the first files.
    const unsigned int end = static_cast<unsigned int>(highest->start) + highest->size;
    const unsigned int boundary = EEPromHelper::FilesInEEPromStartOffset;
    const unsigned int next = (end + boundary - 1) / boundary * boundary;
    return next > 0xFFFFu ? NoRoom : static_cast<unsigned short>(next);
}

bool FitsFileArea(unsigned int start, std::size_t len, unsigned int chipSize)
{
    return len <= chipSize && start >= EEPromHelper::ReservedAreaEnd &&
           EepromPaging::RangeFits(start, static_cast<unsigned int>(len), chipSize);
}

bool CanPlace(const Table& table, unsigned int file, unsigned int start, std::size_t len, unsigned int chipSize)
{
    if (!FitsFileArea(start, len, chipSize))
        return false;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (i != file && Overlaps(table[i], start, len))
            return false;
    }
    return true;
}

} // namespace EepromFileRules
