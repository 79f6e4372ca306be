#pragma once

#include "ByteBufferStream.h"
#include "Eeprom.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Layout of the board EEPROM and the stateless helpers shared by code that
// reads the chip directly.
//
// Layout (multi-byte values little-endian): header bytes 0-3 (1: board
// type, 3: developer flag), the file allocation table at 4 (three 4-byte
// entries: start, size), bytes 16-63 unused, files from 64 on 64-byte
// boundaries. A file record is a check word (the ones' complement of the
// CRC-16/ARC of the payload, low byte first) followed by the payload; the
// size in the table counts the check word.
class EEPromHelper
{
public:
    enum class EEPromLocation : unsigned int
    {
        VorlikBoard = 0,
        StandardBoard = 1
    };

    static constexpr unsigned short DeveloperByteSetAddress = 3;
    static constexpr unsigned short BoardTypeSetAddress = 1;
    static constexpr unsigned short FileInEEPromReservedBytes = 0x4000;
    static constexpr unsigned short FilesInEEPromStartOffset = 64;
    static constexpr unsigned short FreshEEPromValue = 0xFFFF;
    static constexpr unsigned short MaskMSB = 0x00FF;
    static constexpr unsigned short MaskLSB = 0xFF00;
    static constexpr unsigned char FileSizeMSBPos = 3;
    static constexpr unsigned char FileSizeLSBPos = 2;
    static constexpr unsigned char FileStartAddressMSBPos = 1;
    static constexpr unsigned char FileStartAddressLSBPos = 0;
    static constexpr unsigned short FileAllocationTableEntrySize = 4;
    static constexpr unsigned short FileAllocationTableEntryOffset = 4;
    static constexpr unsigned short EEPromStartAddressOffset = 0;
    static constexpr unsigned short FilesInAllocationTable = 3;
    static const unsigned short FileAllocationTableSize;
    // The text that turns the developer flag on.
    static const std::string ApiCommandEnableDeveloperBit;
    static constexpr unsigned char DeveloperBoardValue = 0xA5;
    static constexpr unsigned short HeaderSize = 4;
    // Header and table: no file record may overlap them.
    static constexpr unsigned short ReservedAreaEnd = 16;
    static constexpr unsigned short BoardInformationSize = 64;

    // CRC-16/ARC: reflected polynomial 0xA001, initial 0, no final XOR.
    static unsigned short Crc16Arc(const unsigned char* data, std::size_t len);
    // The word stored in front of a payload: the inverted CRC.
    static unsigned short CheckWord(const unsigned char* data, std::size_t len);
    // Whether a whole record (check word and payload) passes its check word.
    static bool IsRecordIntact(const std::vector<unsigned char>& record);

    // bytes must hold at least 4 bytes.
    static void ParseFileMetaData(const unsigned char* bytes, unsigned short& start, unsigned short& size);
    static std::vector<unsigned char> ConstructFileMetaDataBuffer(unsigned short start, unsigned short size);

    static bool IsAddressValid(unsigned int start) { return start >= 4 && start <= 65534; }
    static bool IsSizeValid(unsigned int size) { return size >= 1 && size <= 65534; }
    static bool ValidByteSetAddress(unsigned int address) { return address < HeaderSize; }

    // The first file's bytes as a stream: the record named by table entry 0
    // (check word included, unchecked, as far as it could be read), or for a
    // chip without a table the bytes from 64 up to the first 0xFF.
    static std::unique_ptr<ByteBufferStream> GetBoardConfigStream(Eeprom& eeprom);

    // The legacy combined board id: header byte 1 OR (header byte 2 << 4).
    // The nibbles overlap when byte 1 exceeds 15; this is the form older
    // callers expect, while EEPromHandler's BaseboardIdGet reads bytes 1-2
    // as a little-endian word. 0 when the header cannot be read whole.
    static unsigned short GetBoardId(Eeprom& eeprom);
};
