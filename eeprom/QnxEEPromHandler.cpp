#include "QnxEEPromHandler.h"

#include "EepromFileRules.h"
#include "EepromFinder.h"
#include "EepromPaging.h"
#include "QnxI2CBus.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>

namespace {

using Helper = EEPromHelper;
using EepromFileRules::CheckWordSize;
using EepromFileRules::RecordState;

using EepromFileRules::IsEntryValid;

// std::stoi's reading of a number (leading blanks, sign, base prefixes,
// trailing text ignored) without its exceptions: nothing for text that holds
// no number in the base or one outside int.
std::optional<int> ParseInteger(const std::string& text, unsigned char base)
{
    if (base == 1 || base > 36) {
        return std::nullopt;
    }
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, base);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<std::vector<unsigned char>> ReadHostFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

bool WriteHostFile(const std::string& path, const unsigned char* bytes, std::size_t len)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        return false;
    }
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(len));
    out.flush();
    return static_cast<bool>(out);
}

// The check word (low byte first), then the payload.
std::vector<unsigned char> EncodeRecord(const std::vector<unsigned char>& payload)
{
    const unsigned short check = Helper::CheckWord(payload.data(), payload.size());
    std::vector<unsigned char> record;
    record.reserve(payload.size() + CheckWordSize);
    record.push_back(static_cast<unsigned char>(check & Helper::MaskMSB));
    record.push_back(static_cast<unsigned char>((check & Helper::MaskLSB) >> 8));
    record.insert(record.end(), payload.begin(), payload.end());
    return record;
}

} // namespace

QnxEEPromHandler::QnxEEPromHandler() : QnxEEPromHandler(EEPromLocation::StandardBoard)
{}

QnxEEPromHandler::QnxEEPromHandler(EEPromLocation location)
{
    Initialise(std::make_shared<QnxI2CBus>(), location);
}

QnxEEPromHandler::QnxEEPromHandler(std::shared_ptr<I2CBus> bus, EEPromLocation location)
{
    Initialise(std::move(bus), location);
}

QnxEEPromHandler::~QnxEEPromHandler() = default;

void QnxEEPromHandler::Initialise(std::shared_ptr<I2CBus> bus, EEPromLocation location)
{
    const unsigned short address =
        location == EEPromLocation::VorlikBoard ? EepromFinder::VorlikAddress : EepromFinder::StandardAddress;
    eeprom_ = EepromFinder::FindEeprom(std::move(bus), address, Eeprom::EepromType::Cat24c256);
    if (eeprom_ && ReadFileAllocationTable()) {
        MakeFirstFileAsPeripheralConfig();
    }
}

unsigned int QnxEEPromHandler::ChipSize() const
{
    return eeprom_ ? eeprom_->GetSizeInBytes() : 0;
}

bool QnxEEPromHandler::IsEEPromAccessible() const
{
    return eeprom_ != nullptr;
}

bool QnxEEPromHandler::ReadFileAllocationTable()
{
    if (!eeprom_) {
        return false;
    }
    unsigned char bytes[12] = {};
    if (eeprom_->Read(Helper::FileAllocationTableEntryOffset, bytes, Helper::FileAllocationTableSize) !=
        Helper::FileAllocationTableSize) {
        return false;
    }
    for (std::size_t i = 0; i < table_.size(); ++i) {
        Helper::ParseFileMetaData(bytes + i * Helper::FileAllocationTableEntrySize, table_[i].start, table_[i].size);
    }
    tableLoaded_ = true;
    return true;
}

bool QnxEEPromHandler::WriteFileAllocationTable()
{
    if (!eeprom_ || !tableLoaded_) {
        return false;
    }
    std::vector<unsigned char> bytes;
    for (const FileEntry& entry : table_) {
        const auto encoded = Helper::ConstructFileMetaDataBuffer(entry.start, entry.size);
        bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    }
    const bool written = eeprom_->Write(Helper::FileAllocationTableEntryOffset, bytes.data(),
                                        static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
    ReadFileAllocationTable();
    return written;
}

unsigned short QnxEEPromHandler::GetFileStartAddress(FilesInEEProm file) const
{
    if (file < table_.size() && Helper::IsAddressValid(table_[file].start)) {
        return table_[file].start;
    }
    return EepromFileRules::NextFreeStart(table_);
}

QnxEEPromHandler::RecordRead QnxEEPromHandler::ReadRecord(unsigned int file) const
{
    // A record past the end of the chip would be read wrapped round from address 0.
    const bool usable = eeprom_ && file < table_.size() && IsEntryValid(table_[file]) &&
                        EepromPaging::RangeFits(table_[file].start, table_[file].size, ChipSize());
    if (!usable) {
        return {EepromFileRules::JudgeRecord(false, 0, 0, false), {}};
    }
    const FileEntry& entry = table_[file];
    std::vector<unsigned char> record(entry.size);
    const int received = std::max(0, eeprom_->Read(entry.start, record.data(), entry.size));
    const RecordState state = EepromFileRules::JudgeRecord(true, entry.size, static_cast<unsigned int>(received),
                                                           received == entry.size && Helper::IsRecordIntact(record));
    if (state != RecordState::Intact) {
        record.clear();
    }
    return {state, std::move(record)};
}

std::vector<unsigned char> QnxEEPromHandler::ReadCurrentFile(FilesInEEProm file) const
{
    return ReadRecord(file).record;
}

std::string QnxEEPromHandler::Read(FilesInEEProm file) const
{
    const std::vector<unsigned char> record = ReadCurrentFile(file);
    if (record.empty()) {
        return {};
    }
    return std::string(record.begin() + CheckWordSize, record.end());
}

bool QnxEEPromHandler::WriteRecord(unsigned short start, const std::vector<unsigned char>& record)
{
    return eeprom_->Write(start, record.data(), static_cast<int>(record.size())) == static_cast<int>(record.size());
}

QnxEEPromHandler::OtherRecords QnxEEPromHandler::ReadOthers(const std::array<bool, FileCount>& wanted) const
{
    OtherRecords others;
    for (unsigned int i = 0; i < FileCount; ++i) {
        if (!wanted[i]) {
            continue;
        }
        RecordRead read = ReadRecord(i);
        others.findings[i] = read.state;
        others.kept[i] = std::move(read.record);
    }
    return others;
}

bool QnxEEPromHandler::Write(FilesInEEProm file, const std::vector<unsigned char>& data)
{
    if (!eeprom_ || !tableLoaded_ || file >= table_.size()) {
        return false;
    }
    const std::size_t recordLen = data.size() + CheckWordSize;
    const OtherRecords others = ReadOthers(EepromFileRules::RecordsToRead(table_, file, recordLen, ChipSize()));
    const auto plan = EepromFileRules::PlanWrite(table_, file, recordLen, others.findings, ChipSize());
    return plan && ApplyWrite(*plan, EncodeRecord(data), others.kept);
}

bool QnxEEPromHandler::ApplyWrite(const EepromFileRules::WritePlan& plan, const std::vector<unsigned char>& record,
                                  const std::array<std::vector<unsigned char>, FileCount>& kept)
{
    // Until the record is whole, the chip and the copy in memory keep the old table.
    if (!WriteRecord(plan.start, record)) {
        return false;
    }
    if (!plan.rewritesTable) {
        return true;
    }
    table_ = plan.table;
    for (unsigned int moved = 0; moved < FileCount; ++moved) {
        if (plan.moves[moved]) {
            table_[moved] = EepromFileRules::ErasedEntry;
        }
    }
    for (unsigned int moved = 0; moved < FileCount; ++moved) {
        if (!plan.moves[moved]) {
            continue;
        }
        // A move that fails loses that file only: its entry stays erased and
        // the files after it take the place it left.
        const unsigned short size = plan.table[moved].size;
        const auto start = EepromFileRules::MoveStart(table_, moved, size, ChipSize());
        if (start && WriteRecord(*start, kept[moved])) {
            table_[moved] = FileEntry{*start, size};
        }
    }
    return WriteFileAllocationTable();
}

void QnxEEPromHandler::MakeFirstFileAsPeripheralConfig()
{
    if (IsEntryValid(table_[PeripheralConfig])) {
        return;
    }
    table_[PeripheralConfig] = FileEntry{Helper::FilesInEEPromStartOffset, Helper::FileInEEPromReservedBytes};
    const std::vector<unsigned char> record = ReadCurrentFile(PeripheralConfig);
    if (record.empty()) {
        return;
    }
    const auto erased = std::find(record.begin(), record.end(), 0xFF);
    if (erased == record.end() || erased == record.begin()) {
        return;
    }
    table_[PeripheralConfig].size = static_cast<unsigned short>(erased - record.begin());
    WriteFileAllocationTable();
}

bool QnxEEPromHandler::Write(FilesInEEProm file, const std::string& path)
{
    const auto bytes = ReadHostFile(path);
    return bytes && Write(file, *bytes);
}

bool QnxEEPromHandler::Read(FilesInEEProm file, const std::string& path)
{
    const std::vector<unsigned char> record = ReadCurrentFile(file);
    if (record.empty()) {
        return false;
    }
    return WriteHostFile(path, record.data() + CheckWordSize, record.size() - CheckWordSize);
}

bool QnxEEPromHandler::Verify(FilesInEEProm file, const std::string& path)
{
    const auto bytes = ReadHostFile(path);
    if (!bytes) {
        return false;
    }
    const std::vector<unsigned char> record = ReadCurrentFile(file);
    if (record.empty()) {
        return false;
    }
    return bytes->size() == record.size() - CheckWordSize &&
           std::equal(bytes->begin(), bytes->end(), record.begin() + CheckWordSize);
}

bool QnxEEPromHandler::WriteAll(const std::string& path)
{
    if (!eeprom_) {
        return false;
    }
    const auto bytes = ReadHostFile(path);
    if (!bytes || bytes->size() > ChipSize()) {
        return false;
    }
    std::vector<unsigned char> image(ChipSize(), 0xFF);
    std::copy(bytes->begin(), bytes->end(), image.begin());
    return eeprom_->Write(Helper::EEPromStartAddressOffset, image.data(), static_cast<int>(image.size())) ==
           static_cast<int>(image.size());
}

bool QnxEEPromHandler::ReadAll(const std::string& path)
{
    if (!eeprom_) {
        return false;
    }
    std::vector<unsigned char> image(ChipSize());
    if (eeprom_->Read(Helper::EEPromStartAddressOffset, image.data(), static_cast<int>(image.size())) !=
        static_cast<int>(image.size())) {
        return false;
    }
    return WriteHostFile(path, image.data(), image.size());
}

bool QnxEEPromHandler::VerifyAll(const std::string& path)
{
    if (!eeprom_) {
        return false;
    }
    const auto bytes = ReadHostFile(path);
    if (!bytes || bytes->size() != ChipSize()) {
        return false;
    }
    std::vector<unsigned char> image(ChipSize());
    if (eeprom_->Read(Helper::EEPromStartAddressOffset, image.data(), static_cast<int>(image.size())) !=
        static_cast<int>(image.size())) {
        return false;
    }
    return image == *bytes;
}

bool QnxEEPromHandler::Erase()
{
    return eeprom_ && eeprom_->EraseAll();
}

unsigned char QnxEEPromHandler::ByteGet(unsigned short address)
{
    unsigned char value = 0;
    if (!eeprom_ || !Helper::ValidByteSetAddress(address) || eeprom_->Read(address, &value, 1) != 1) {
        return 0;
    }
    return value;
}

bool QnxEEPromHandler::ByteSet(unsigned short address, unsigned char value)
{
    return eeprom_ && Helper::ValidByteSetAddress(address) && eeprom_->Write(address, &value, 1) == 1;
}

bool QnxEEPromHandler::ByteSet(unsigned short address, const std::string& value, unsigned char base)
{
    const auto number = ParseInteger(value, base);
    return number && ByteSet(address, static_cast<unsigned char>(static_cast<unsigned int>(*number) & 0xFFu));
}

unsigned short QnxEEPromHandler::WordGet(unsigned short address)
{
    unsigned char bytes[2] = {};
    if (!eeprom_ || !Helper::ValidByteSetAddress(address) || !Helper::ValidByteSetAddress(address + 1u) ||
        eeprom_->Read(address, bytes, 2) != 2) {
        return 0;
    }
    return static_cast<unsigned short>(bytes[0] + 256u * bytes[1]);
}

bool QnxEEPromHandler::WordSet(unsigned short address, unsigned short value)
{
    if (!eeprom_ || !Helper::ValidByteSetAddress(address) || !Helper::ValidByteSetAddress(address + 1u)) {
        return false;
    }
    const unsigned char bytes[2] = {static_cast<unsigned char>(value & 0xFFu), static_cast<unsigned char>(value >> 8)};
    return eeprom_->Write(address, bytes, 2) == 2;
}

bool QnxEEPromHandler::WordSet(unsigned short address, const std::string& value, unsigned char base)
{
    const auto number = ParseInteger(value, base);
    return number && WordSet(address, static_cast<unsigned short>(static_cast<unsigned int>(*number) & 0xFFFFu));
}

bool QnxEEPromHandler::DeveloperBoardSet(unsigned short address, const std::string& value)
{
    const unsigned char flag = value == Helper::ApiCommandEnableDeveloperBit ? Helper::DeveloperBoardValue : 0x00;
    return ByteSet(address, flag);
}

bool QnxEEPromHandler::IsDeveloperBoardSet(unsigned short address)
{
    return ByteGet(address) == Helper::DeveloperBoardValue;
}

bool QnxEEPromHandler::BaseboardIdSet(unsigned short address, const std::string& value)
{
    return WordSet(address, value, 10);
}

unsigned short QnxEEPromHandler::BaseboardIdGet(unsigned short address)
{
    return WordGet(address);
}

std::string QnxEEPromHandler::FormatBoardInformation(const unsigned char* bytes, std::size_t len)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(len * 3 + len / 16 * 4);
    for (std::size_t i = 0; i < len; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
        const std::size_t column = i % 16;
        if (column == 15 || i + 1 == len) {
            text += "\r\n";
        } else {
            text += column % 4 == 3 ? "  " : " ";
        }
    }
    return text;
}

bool QnxEEPromHandler::ReadBoardInformation(const std::string& path)
{
    unsigned char header[Helper::BoardInformationSize] = {};
    // Bytes that do not arrive stay 0: the dump shows what could be read.
    if (eeprom_) {
        eeprom_->Read(Helper::EEPromStartAddressOffset, header, Helper::BoardInformationSize);
    }
    const std::string text = FormatBoardInformation(header, sizeof header);
    return WriteHostFile(path, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}
