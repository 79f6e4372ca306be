#include "EEPromHelper.h"

#include <algorithm>

const unsigned short EEPromHelper::FileAllocationTableSize =
    EEPromHelper::FilesInAllocationTable * EEPromHelper::FileAllocationTableEntrySize;
const std::string EEPromHelper::ApiCommandEnableDeveloperBit = "1";

unsigned short EEPromHelper::Crc16Arc(const unsigned char* data, std::size_t len)
{
    unsigned int crc = 0;
    for (std::size_t i = 0; i < len; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xA001u : crc >> 1;
        }
    }
    return static_cast<unsigned short>(crc);
}

unsigned short EEPromHelper::CheckWord(const unsigned char* data, std::size_t len)
{
    return static_cast<unsigned short>(~Crc16Arc(data, len) & 0xFFFFu);
}

bool EEPromHelper::IsRecordIntact(const std::vector<unsigned char>& record)
{
    if (record.size() < 2) {
        return false;
    }
    const unsigned int stored = record[0] + 256u * record[1];
    return stored == CheckWord(record.data() + 2, record.size() - 2);
}

void EEPromHelper::ParseFileMetaData(const unsigned char* bytes, unsigned short& start, unsigned short& size)
{
    start = static_cast<unsigned short>(bytes[FileStartAddressLSBPos] + 256u * bytes[FileStartAddressMSBPos]);
    size = static_cast<unsigned short>(bytes[FileSizeLSBPos] + 256u * bytes[FileSizeMSBPos]);
}

std::vector<unsigned char> EEPromHelper::ConstructFileMetaDataBuffer(unsigned short start, unsigned short size)
{
    std::vector<unsigned char> entry(FileAllocationTableEntrySize);
    entry[FileStartAddressLSBPos] = static_cast<unsigned char>(start & MaskMSB);
    entry[FileStartAddressMSBPos] = static_cast<unsigned char>((start & MaskLSB) >> 8);
    entry[FileSizeLSBPos] = static_cast<unsigned char>(size & MaskMSB);
    entry[FileSizeMSBPos] = static_cast<unsigned char>((size & MaskLSB) >> 8);
    return entry;
}

std::unique_ptr<ByteBufferStream> EEPromHelper::GetBoardConfigStream(Eeprom& eeprom)
{
    unsigned char entry[FileAllocationTableEntrySize] = {};
    unsigned short start = 0;
    unsigned short size = 0;
    if (eeprom.Read(FileAllocationTableEntryOffset, entry, FileAllocationTableEntrySize) ==
        FileAllocationTableEntrySize) {
        ParseFileMetaData(entry, start, size);
    }
    if (IsAddressValid(start) && IsSizeValid(size)) {
        std::vector<unsigned char> record(size);
        const int got = eeprom.Read(start, record.data(), size);
        record.resize(static_cast<std::size_t>(std::max(0, got)));
        return std::make_unique<ByteBufferStream>(std::move(record));
    }
    // An older layout without a table: the first file runs up to the first erased byte.
    std::vector<unsigned char> bytes(FileInEEPromReservedBytes);
    const int got = eeprom.Read(FilesInEEPromStartOffset, bytes.data(), FileInEEPromReservedBytes);
    bytes.resize(static_cast<std::size_t>(std::max(0, got)));
    bytes.erase(std::find(bytes.begin(), bytes.end(), 0xFF), bytes.end());
    return std::make_unique<ByteBufferStream>(std::move(bytes));
}

unsigned short EEPromHelper::GetBoardId(Eeprom& eeprom)
{
    unsigned char header[BoardInformationSize] = {};
    if (eeprom.Read(EEPromStartAddressOffset, header, BoardInformationSize) != BoardInformationSize) {
        return 0;
    }
    return static_cast<unsigned short>(header[1] | (header[2] << 4));
}
