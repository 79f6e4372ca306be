#pragma once

#include "EEPromHandler.h"
#include "EEPromHelper.h"
#include "Eeprom.h"
#include "EepromFileRules.h"
#include "I2CBus.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

// The board EEPROM's file table on a 24C256 found on I2C bus 0. Owns the
// driver (and through it the bus); keeps a copy of the table, loaded at
// construction and refreshed after every table write. Without a chip every
// file reads as empty, every header read returns 0 and every write fails.
// When the table could not be read at construction, every file and table
// write fails until ReadFileAllocationTable succeeds: the zero table in
// memory would place any file over file 0.
//
// Writes never place a record past the end of the chip, over the header and
// table (bytes 0-15), or over a file that is not being rewritten; such a
// write returns false before anything is written. A file rewritten at the same
// size goes in place even where a stale entry of another file overlaps it
// (earlier moves left such entries on boards): that entry's record, read first,
// must fail its check word; one that reads intact or cannot be read stops it.
//
// A write that changes a file's size moves the files after it (by index) to
// the 64-byte boundaries behind it. A later file whose record was read whole
// and fails its check word, or whose entry names no record inside the chip, is
// dropped from the table (it already reads as empty, and its stale entry would
// let the new layout overlap it); one whose read falls short may be intact,
// and the write returns false before anything is written. The move is not
// atomic. Earlier files are never touched. A failure part-way can lose:
//  - while the new record is written: the table on the chip stays the old one
//    (so does the copy in memory); the file reads as its old contents, or as
//    empty if part of the new record landed, and a later file whose old record
//    the new one overlapped reads as empty;
//  - while a later file is rewritten: that file (its only copy was in
//    memory); its entry is erased and the rest goes on;
//  - while the table is written: the chip keeps the old table, so the file
//    and every moved file read as empty unless their old records survived.
// Nothing ever reads as bytes that fail their check word.
//
// The rules above are EepromFileRules'; a write reads the records they ask
// about, plans with what it found, then carries the plan out.
class QnxEEPromHandler : public EEPromHandler
{
public:
    using EEPromLocation = EEPromHelper::EEPromLocation;

    using FileEntry = EepromFileRules::FileEntry;

    QnxEEPromHandler();
    explicit QnxEEPromHandler(EEPromLocation location);
    // On a bus of the caller's: the same discovery and table load.
    QnxEEPromHandler(std::shared_ptr<I2CBus> bus, EEPromLocation location);
    ~QnxEEPromHandler() override;
    QnxEEPromHandler(const QnxEEPromHandler&) = delete;
    QnxEEPromHandler& operator=(const QnxEEPromHandler&) = delete;

    bool IsEEPromAccessible() const override;
    bool Write(FilesInEEProm file, const std::string& path) override;
    bool WriteAll(const std::string& path) override;
    bool Read(FilesInEEProm file, const std::string& path) override;
    bool ReadAll(const std::string& path) override;
    bool Erase() override;
    bool Verify(FilesInEEProm file, const std::string& path) override;
    bool VerifyAll(const std::string& path) override;
    unsigned char ByteGet(unsigned short address) override;
    bool ByteSet(unsigned short address, unsigned char value) override;
    bool ByteSet(unsigned short address, const std::string& value, unsigned char base) override;
    unsigned short WordGet(unsigned short address) override;
    bool WordSet(unsigned short address, unsigned short value) override;
    bool WordSet(unsigned short address, const std::string& value, unsigned char base) override;
    bool DeveloperBoardSet(unsigned short address, const std::string& value) override;
    bool ReadBoardInformation(const std::string& path) override;

    // false, with the table unchanged, when fewer than 12 bytes arrive; the
    // first read that succeeds lets writes through.
    bool ReadFileAllocationTable();
    // Writes the in-memory table and reads it back; true when all 12 bytes
    // were written. false, writing nothing, while no table read has succeeded.
    bool WriteFileAllocationTable();
    // The file's start when its entry is valid, else where a new file would
    // go; 0xFFFF when the table leaves no room below the 16-bit limit.
    unsigned short GetFileStartAddress(FilesInEEProm file) const;
    // The whole record (check word included), or empty when it is missing,
    // cannot be read whole, is 2 bytes or shorter, or fails its check word.
    std::vector<unsigned char> ReadCurrentFile(FilesInEEProm file) const;
    // The payload, or "" as ReadCurrentFile.
    std::string Read(FilesInEEProm file) const;
    bool Write(FilesInEEProm file, const std::vector<unsigned char>& data);
    // Adopts a first file from the older layout when entry 0 is not valid.
    void MakeFirstFileAsPeripheralConfig();
    bool IsDeveloperBoardSet(unsigned short address);
    // Decimal text, stored as a word at address and address + 1.
    bool BaseboardIdSet(unsigned short address, const std::string& value);
    unsigned short BaseboardIdGet(unsigned short address);

    // The in-memory table.
    const EepromFileRules::Table& GetFileTable() const { return table_; }
    // The hex dump text of a header block: two lower-case digits per byte,
    // 16 per line, two spaces after every fourth, "\r\n" after each line.
    static std::string FormatBoardInformation(const unsigned char* bytes, std::size_t len);

private:
    using Table = EepromFileRules::Table;
    static constexpr unsigned int FileCount = EepromFileRules::FileCount;
    struct RecordRead
    {
        EepromFileRules::RecordState state;
        std::vector<unsigned char> record; // the whole record when intact, else empty
    };

    // What reads of the other files' records found, for the write rules, and
    // the intact ones whole, for the files a resize moves.
    struct OtherRecords
    {
        EepromFileRules::Findings findings{};
        std::array<std::vector<unsigned char>, FileCount> kept;
    };

    void Initialise(std::shared_ptr<I2CBus> bus, EEPromLocation location);
    RecordRead ReadRecord(unsigned int file) const;
    OtherRecords ReadOthers(const std::array<bool, FileCount>& wanted) const;
    bool WriteRecord(unsigned short start, const std::vector<unsigned char>& record);
    // Carries out a write as planned; the results part-way are the losses
    // stated above.
    bool ApplyWrite(const EepromFileRules::WritePlan& plan, const std::vector<unsigned char>& record,
                    const std::array<std::vector<unsigned char>, FileCount>& kept);
    unsigned int ChipSize() const;

    Table table_{};
    std::unique_ptr<Eeprom> eeprom_;
    // Set by the first table read that arrives whole: before it the zero
    // table would place every file at 64, over file 0 and the files after it.
    bool tableLoaded_ = false;
};
