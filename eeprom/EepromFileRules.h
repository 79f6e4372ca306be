#pragma once

// The rules by which a file write decides what it may do to the records of
// the other files: pure, so they can be checked without a chip.
namespace EepromFileRules {

// Bytes of the check word in front of every record's payload; a record's size
// in the table counts them.
constexpr unsigned int CheckWordSize = 2;

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
