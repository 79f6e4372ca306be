#pragma once

#include <array>
#include <cstddef>
#include <optional>

// The rules of the board EEPROM's file table: where records go and what a
// file write may do to the records of the other files. Pure, so they can be
// checked without a chip; reading and writing the chip is the handler's.
namespace EepromFileRules {

// Bytes of the check word in front of every record's payload; a record's size
// in the table counts them.
constexpr unsigned int CheckWordSize = 2;
constexpr std::size_t FileCount = 3;

// One entry of the file allocation table.
struct FileEntry
{
    unsigned short start = 0;
    unsigned short size = 0;

    friend constexpr bool operator==(const FileEntry& a, const FileEntry& b)
    {
        return a.start == b.start && a.size == b.size;
    }
};
using Table = std::array<FileEntry, FileCount>;
// An entry as an erased chip holds it: invalid on both counts.
constexpr FileEntry ErasedEntry{0xFFFF, 0xFFFF};

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
enum class RecordState
{
    Intact,     // read whole, longer than its check word, and passing it
    Lost,       // nothing readable to lose: no usable entry, or read whole and failing
    Unreadable, // the read fell short: the record may be intact behind a failed transfer
};

// `entryUsable`: the entry names a start and size that lie inside the chip.
// `received`: the bytes that arrived of the `size` asked for.
constexpr RecordState JudgeRecord(bool entryUsable, unsigned int size, unsigned int received, bool checkWordMatches)
{
    if (!entryUsable) {
        return RecordState::Lost;
    }
    if (received < size) {
        return RecordState::Unreadable;
    }
    return size > CheckWordSize && checkWordMatches ? RecordState::Intact : RecordState::Lost;
}

// Whether a write may put bytes over another file's record, or drop its
// entry, without holding a copy of it: only when nothing readable is lost.
constexpr bool MayDiscard(RecordState state)
{
    return state == RecordState::Lost;
}

// What the reads of other files' records found; no finding for a file not read.
using Findings = std::array<std::optional<RecordState>, FileCount>;

// The files whose records must be read before `file` gets a record of
// `recordLen` bytes: for a rewrite in place at the same size, the other files
// whose entries the record would cover; for a resize, every later file (each
// is moved or dropped). None for a new file, or for a write refused anyway
// because the record cannot go where it would.
std::array<bool, FileCount> RecordsToRead(const Table& table, unsigned int file, std::size_t recordLen,
                                          unsigned int chipSize);

// How a write goes: the file's new record at `start`, then each later file
// in `moves`, in index order, rewritten from the copy read before, then the
// table written.
struct WritePlan
{
    unsigned short start = 0;
    // The table once the record is written and every move is done.
    Table table{};
    std::array<bool, FileCount> moves{};
    // false for a rewrite in place at the same size: the table on the chip stays.
    bool rewritesTable = false;
};

// The plan for giving `file` a record of `recordLen` bytes in `table` (one read
// from the chip), with `findings` for the files RecordsToRead names; a file
// without a finding counts as unreadable. Nothing when the write must be
// refused before anything is written:
//  - the record is larger than the chip or the table can name, or `file` is
//    not one of the three;
//  - a new file would not fit behind the highest file, or would overlap another
//    valid entry;
//  - a same-size rewrite would pass the file area, or cover a record of another
//    file that is not lost;
//  - a resize meets a later file that is unreadable, would overlap an earlier
//    file, or would push a later intact file past the end of the chip.
// A resize drops the later files whose records are lost and moves the intact
// ones to the 64-byte boundaries behind the highest file left in the table.
std::optional<WritePlan> PlanWrite(const Table& table, unsigned int file, std::size_t recordLen,
                                   const Findings& findings, unsigned int chipSize);

// Where a moving file's record of `size` bytes goes behind the files `table`
// holds: the next free start, or nothing when the record does not fit there.
// The plan's start for each move while every move before it succeeded; after
// a failed one, the place that one left free.
std::optional<unsigned short> MoveStart(const Table& table, unsigned int file, unsigned short size,
                                        unsigned int chipSize);

} // namespace EepromFileRules
