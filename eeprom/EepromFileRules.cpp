#include "EepromFileRules.h"

#include "EEPromHelper.h"
#include "EepromPaging.h"

namespace EepromFileRules {

namespace {

constexpr unsigned short NoRoom = 0xFFFF;
static_assert(ErasedEntry.start == EEPromHelper::FreshEEPromValue && ErasedEntry.size == EEPromHelper::FreshEEPromValue,
              "an erased entry holds what an erased chip does");

// The three ways a file gets its record.
enum class WriteKind
{
    NewFile, // no valid start: the record goes behind the highest file
    InPlace, // the same size: the record goes over the old one
    Resize,  // another size: at the same start, the later files move behind it
};

WriteKind KindOf(const FileEntry& entry, std::size_t recordLen)
{
    if (!EEPromHelper::IsAddressValid(entry.start)) {
        return WriteKind::NewFile;
    }
    return entry.size == recordLen ? WriteKind::InPlace : WriteKind::Resize;
}

bool IsWritable(unsigned int file, std::size_t recordLen, unsigned int chipSize)
{
    return file < FileCount && recordLen <= chipSize && EEPromHelper::IsSizeValid(static_cast<unsigned int>(recordLen));
}

RecordState FindingOf(const Findings& findings, unsigned int file)
{
    return findings[file].value_or(RecordState::Unreadable);
}

std::optional<WritePlan> PlanNewFile(const Table& table, unsigned int file, unsigned short len, unsigned int chipSize)
{
    const unsigned short start = NextFreeStart(table);
    if (!CanPlace(table, file, start, len, chipSize)) {
        return std::nullopt;
    }
    WritePlan plan;
    plan.start = start;
    plan.table = table;
    plan.table[file] = FileEntry{start, len};
    plan.rewritesTable = true;
    return plan;
}

std::optional<WritePlan> PlanInPlace(const Table& table, unsigned int file, unsigned short len,
                                     const Findings& findings, unsigned int chipSize)
{
    // Other entries may overlap: earlier moves left stale ones on boards.
    const unsigned short start = table[file].start;
    if (!FitsFileArea(start, len, chipSize)) {
        return std::nullopt;
    }
    for (unsigned int other = 0; other < FileCount; ++other) {
        if (other != file && Overlaps(table[other], start, len) && !MayDiscard(FindingOf(findings, other))) {
            return std::nullopt;
        }
    }
    WritePlan plan;
    plan.start = start;
    plan.table = table;
    return plan;
}

std::optional<WritePlan> PlanResize(const Table& table, unsigned int file, unsigned short len, const Findings& findings,
                                    unsigned int chipSize)
{
    WritePlan plan;
    plan.start = table[file].start;
    plan.table = table;
    plan.rewritesTable = true;
    std::array<bool, FileCount> kept{};
    for (unsigned int later = file + 1; later < FileCount; ++later) {
        // Moving on needs a copy of every later file or the knowledge that it
        // is lost: one that merely failed to arrive may be intact.
        const RecordState finding = FindingOf(findings, later);
        if (finding != RecordState::Intact && !MayDiscard(finding)) {
            return std::nullopt;
        }
        kept[later] = finding == RecordState::Intact;
        // A lost one's stale entry would let the new layout overlap it.
        plan.table[later] = ErasedEntry;
    }
    plan.table[file].size = len;
    if (!CanPlace(plan.table, file, plan.start, len, chipSize)) {
        return std::nullopt;
    }
    for (unsigned int later = file + 1; later < FileCount; ++later) {
        if (!kept[later]) {
            continue;
        }
        const unsigned short size = table[later].size;
        const auto start = MoveStart(plan.table, later, size, chipSize);
        if (!start) {
            return std::nullopt;
        }
        plan.table[later] = FileEntry{*start, size};
        plan.moves[later] = true;
    }
    return plan;
}

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
        if (EEPromHelper::IsAddressValid(entry.start) && (highest == nullptr || entry.start > highest->start)) {
            highest = &entry;
        }
    }
    if (highest == nullptr) {
        return EEPromHelper::FilesInEEPromStartOffset;
    }
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
    if (!FitsFileArea(start, len, chipSize)) {
        return false;
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (i != file && Overlaps(table[i], start, len)) {
            return false;
        }
    }
    return true;
}

std::array<bool, FileCount> RecordsToRead(const Table& table, unsigned int file, std::size_t recordLen,
                                          unsigned int chipSize)
{
    std::array<bool, FileCount> wanted{};
    if (!IsWritable(file, recordLen, chipSize)) {
        return wanted;
    }
    switch (KindOf(table[file], recordLen)) {
    case WriteKind::NewFile:
        break;
    case WriteKind::InPlace:
        if (!FitsFileArea(table[file].start, recordLen, chipSize)) {
            break;
        }
        for (unsigned int other = 0; other < FileCount; ++other) {
            wanted[other] = other != file && Overlaps(table[other], table[file].start, recordLen);
        }
        break;
    case WriteKind::Resize:
        for (unsigned int later = file + 1; later < FileCount; ++later) {
            wanted[later] = true;
        }
        break;
    }
    return wanted;
}

std::optional<WritePlan> PlanWrite(const Table& table, unsigned int file, std::size_t recordLen,
                                   const Findings& findings, unsigned int chipSize)
{
    if (!IsWritable(file, recordLen, chipSize)) {
        return std::nullopt;
    }
    const auto len = static_cast<unsigned short>(recordLen);
    switch (KindOf(table[file], recordLen)) {
    case WriteKind::NewFile:
        return PlanNewFile(table, file, len, chipSize);
    case WriteKind::InPlace:
        return PlanInPlace(table, file, len, findings, chipSize);
    case WriteKind::Resize:
        return PlanResize(table, file, len, findings, chipSize);
    }
    return std::nullopt;
}

std::optional<unsigned short> MoveStart(const Table& table, unsigned int file, unsigned short size,
                                        unsigned int chipSize)
{
    const unsigned short start = NextFreeStart(table);
    if (!CanPlace(table, file, start, size, chipSize)) {
        return std::nullopt;
    }
    return start;
}

} // namespace EepromFileRules
