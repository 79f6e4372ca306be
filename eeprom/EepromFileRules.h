#pragma once

#include <array>
#include <cstddef>

// The rules of the board EEPROM's file table: where records go and what a
// file write may do to the records of the other files. Pure, so they can be
// checked without a chip; reading and writing the chip is the handler's.
namespace EepromFileRules {

// Bytes of the check word in front of every record's payload; a record's size
// in the table counts them.
constexpr unsigned int CheckWordSize = 2;
constexpr std::size_t FileCount = 3;

// One entry of the file allocation table.
struct FileEntry {
    unsigned short start = 0;
    unsigned short size = 0;
};
using Table = std::array<FileEntry, FileCount>;

// Start and size both inside their valid ranges (an erased or all-zero entry is not).
bool IsEntryValid(const FileEntry& entry);
// Whether the record `entry` names shares a byte with [start, start + len).
bool Overlaps(const FileEntry& entry, unsigned int start, std::size_t len);
// Where a new file goes: the 64-byte boundary at or after the end of the file
// with the highest valid start (on equal starts the lowest index), 64 when no
// start is valid, 0xFFFF when the boundary lies past the 16-bit limit.
unsigned short NextFreeStart(const Table& table);
// Inside a chip of `chipSize` bytes and clear of the header and table.
bool FitsFileArea(unsigned int start, std::size_t len, unsigned int chipSize);
// Whether `file`'s record may go at [start, start + len): in the file area and
// clear of every other valid entry of `table`, stale or not.
bool CanPlace(const Table& table, unsigned int file, unsigned int start, std::size_t len, unsigned int chipSize);

// What a read of a file's record found.
enum class RecordState {
    Intact,     // read whole, longer than its check word, and passing it
    Lost,       // nothing readable to lose: no usable entry, or read whole and failing
    Unreadable, // the read fell short: the record may be intact behind a failed transfer
};

// `entryUsable`: the entry names a start and size that lie inside the chip.
// `received`: the bytes that arrived of the `size` asked for.
constexpr RecordState JudgeRecord(bool entryUsable, unsigned int size, unsigned int received, bool checkWordMatches)
{
    if (!entryUsable)
        return RecordState::Lost;
    if (received < size)
        return RecordState::Unreadable;
    return size > CheckWordSize && checkWordMatches ? RecordState::Intact : RecordState::Lost;
}

// Whether a write may put bytes over another file's record, or drop its
// entry, without holding a copy of it: only when nothing readable is lost.
constexpr bool MayDiscard(RecordState state)
{
    return state == RecordState::Lost;
}

} // namespace EepromFileRules
