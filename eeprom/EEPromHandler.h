#pragma once

#include <string>

// The board EEPROM as a small file system: three files, the whole chip as an
// image, and the header bytes. Host-file operations return false when the
// host file cannot be opened or the chip operation fell short; header reads
// return 0 for addresses outside the header (0-3). Single-threaded.
class EEPromHandler
{
public:
    enum FilesInEEProm : unsigned int
    {
        PeripheralConfig = 0,
        BuildRecord = 1,
        ThirdFile = 2
    };

    virtual ~EEPromHandler() = default;

    virtual bool IsEEPromAccessible() const = 0;
    // Stores the host file's bytes as the file's payload.
    virtual bool Write(FilesInEEProm file, const std::string& path) = 0;
    // Writes a chip image (at most chip-sized; the rest is erased) from address 0.
    virtual bool WriteAll(const std::string& path) = 0;
    // Writes the file's payload to the host file; false when the file reads as empty.
    virtual bool Read(FilesInEEProm file, const std::string& path) = 0;
    virtual bool ReadAll(const std::string& path) = 0;
    // Erases the whole chip; the in-memory table is left as it was.
    virtual bool Erase() = 0;
    virtual bool Verify(FilesInEEProm file, const std::string& path) = 0;
    virtual bool VerifyAll(const std::string& path) = 0;

    virtual unsigned char ByteGet(unsigned short address) = 0;
    virtual bool ByteSet(unsigned short address, unsigned char value) = 0;
    // False, with nothing written, when text is not a number in base.
    virtual bool ByteSet(unsigned short address, const std::string& value, unsigned char base) = 0;
    // Little-endian over address and address + 1, both in the header.
    virtual unsigned short WordGet(unsigned short address) = 0;
    virtual bool WordSet(unsigned short address, unsigned short value) = 0;
    virtual bool WordSet(unsigned short address, const std::string& value, unsigned char base) = 0;
    // "1" stores 0xA5, any other text 0x00.
    virtual bool DeveloperBoardSet(unsigned short address, const std::string& value) = 0;
    // Writes the first 64 bytes as a hex dump text.
    virtual bool ReadBoardInformation(const std::string& path) = 0;

protected:
    EEPromHandler() = default;
    EEPromHandler(const EEPromHandler&) = default;
    EEPromHandler& operator=(const EEPromHandler&) = default;
};
