#include "JsonImporterExporter.h"

#include "FitsIn.h"
#include "JsonDocumentParser.h"
#include "MemoryOperation.h"
#include "Stream.h"

#include <rapidjson/writer.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

std::mutex JsonImporterExporter::jsonMutex;

namespace {

constexpr unsigned int IdentifierBytes = 16;
constexpr unsigned int LengthOffset = 16;
// Buffers for stream imports start at most this large and grow with the data.
constexpr std::size_t InitialTextBuffer = std::size_t{64} * 1024;

std::uint32_t ReadLittleEndian32(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void WriteLittleEndian32(std::uint32_t value, char* bytes)
{
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
    }
}

// Output of the record writer: the text goes after the reserved header bytes.
struct RecordBuffer
{
    using Ch = char;
    std::string bytes;
    void Put(char c) { bytes.push_back(c); }
    void Flush() {}
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The byte of a two-character escape, or -1 for an unknown letter.
int SimpleEscape(char letter)
{
    switch (letter) {
    case 'b':
        return 0x08;
    case 't':
        return 0x09;
    case 'n':
        return 0x0A;
    case 'f':
        return 0x0C;
    case 'r':
        return 0x0D;
    case '"':
        return 0x22;
    case '\\':
        return 0x5C;
    default:
        return -1;
    }
}

// A zeroed buffer of size + 1 bytes, or null when memory is short.
std::unique_ptr<char[]> ZeroedBuffer(std::size_t size)
{
    return std::unique_ptr<char[]>(new (std::nothrow) char[size + 1]());
}

} // namespace

JsonImporterExporter::JsonImporterExporter() : document_(JsonDocumentParser::NewDocument())
{
    document_.SetObject();
}

JsonImporterExporter::JsonImporterExporter(const rapidjson::Document& source)
    : document_(JsonDocumentParser::NewDocument())
{
    document_.SetObject();
    JsonDocumentParser::DeepCopy(document_, source);
}

JsonImporterExporter::~JsonImporterExporter() = default;

unsigned int JsonImporterExporter::ImportLimit()
{
    const std::uint64_t available = MemoryOperation::GetAvailablePhysicalMemory();
    // available * 25 / 100 without the product overflowing 64 bits.
    const std::uint64_t quarter = available / 100 * 25 + available % 100 * 25 / 100;
    return quarter > std::numeric_limits<unsigned int>::max() ? std::numeric_limits<unsigned int>::max()
                                                              : static_cast<unsigned int>(quarter);
}

JsonImporterExporter::MemberIterator JsonImporterExporter::FindTag(const std::string& name)
{
    if (!document_.IsObject()) {
        return MemberIterator();
    }
    if (!FitsIn<rapidjson::SizeType>(name.size())) {
        return document_.MemberEnd();
    }
    const rapidjson::Value key(rapidjson::StringRef(name.data(), static_cast<rapidjson::SizeType>(name.size())));
    return document_.FindMember(key);
}

bool JsonImporterExporter::FindTag(const std::string& name, MemberIterator& found)
{
    found = FindTag(name);
    return document_.IsObject() && found != document_.MemberEnd();
}

bool JsonImporterExporter::UpdateTag(const std::string& name, const std::string& value)
{
    MemberIterator member;
    if (!FindTag(name, member)) {
        return false;
    }
    const char* text = value.c_str();
    member->value.SetString(text, static_cast<rapidjson::SizeType>(std::strlen(text)), document_.GetAllocator());
    return true;
}

bool JsonImporterExporter::UpdateTag(const std::string& name, int value)
{
    MemberIterator member;
    if (!FindTag(name, member)) {
        return false;
    }
    member->value.SetInt(value);
    return true;
}

bool JsonImporterExporter::ImportData(unsigned char* record, std::size_t blockSize)
{
    if (record == nullptr || blockSize < HeaderBytes) {
        return false;
    }
    const unsigned int limit = ImportLimit();
    const std::uint32_t length = ReadLittleEndian32(record + LengthOffset);
    if (length == 0 || length > limit) {
        return false;
    }
    // The text and the zero byte after it must lie inside the block.
    if (static_cast<std::uint64_t>(length) + HeaderBytes + 1 > blockSize) {
        return false;
    }
    char* text = reinterpret_cast<char*>(record + HeaderBytes);
    text[length] = '\0';

    std::lock_guard<std::mutex> lock(jsonMutex);
    return JsonDocumentParser::ParseInsitu(document_, text) && document_.IsObject();
}

bool JsonImporterExporter::ImportData(Stream& stream)
{
    const unsigned int limit = ImportLimit();
    unsigned char header[HeaderBytes];
    if (stream.Read(header, IdentifierBytes) != static_cast<int>(IdentifierBytes) ||
        stream.Read(header + LengthOffset, 4) != 4) {
        return false;
    }
    const std::uint32_t length = ReadLittleEndian32(header + LengthOffset);
    if (length == 0 || length > limit) {
        return false;
    }
    bool streamError = false;
    const std::unique_ptr<char[]> text = ReadJsonDocumentAsBuffer(stream, length, streamError);
    return text != nullptr && ParseCopy(text.get());
}

bool JsonImporterExporter::ImportDataNoRetry(Stream& stream, bool& streamError)
{
    streamError = false;
    unsigned char header[HeaderBytes];
    const int gotIdentifier = stream.Read(header, IdentifierBytes);
    if (gotIdentifier != static_cast<int>(IdentifierBytes)) {
        streamError = gotIdentifier == -1;
        return false;
    }
    const int gotLength = stream.Read(header + LengthOffset, 4);
    if (gotLength != 4) {
        streamError = gotLength == -1;
        return false;
    }
    if (std::memcmp(header, JSONGuid::JSON_Identifier_GUID, IdentifierBytes) != 0 &&
        std::memcmp(header, JSONGuid::AlternateJsonIdentifier, IdentifierBytes) != 0) {
        return false;
    }
    const std::uint32_t length = ReadLittleEndian32(header + LengthOffset);
    if (length == 0) {
        return false;
    }
    const std::unique_ptr<char[]> text = ReadJsonDocumentAsBuffer(stream, length, streamError);
    return text != nullptr && ParseCopy(text.get());
}

bool JsonImporterExporter::ParseCopy(const char* text)
{
    std::lock_guard<std::mutex> lock(jsonMutex);
    return JsonDocumentParser::Parse(document_, text) && document_.IsObject();
}

std::unique_ptr<char[]> JsonImporterExporter::ReadJsonDocumentAsBuffer(Stream& stream, unsigned int length,
                                                                       bool& streamError)
{
    streamError = false;
    // On a 32-bit target length + 1 must not wrap around to 0.
    if constexpr (sizeof(std::size_t) <= sizeof(unsigned int)) {
        if (length == std::numeric_limits<unsigned int>::max()) {
            return nullptr;
        }
    }
    const std::size_t total = length;
    std::size_t capacity = std::min(total, InitialTextBuffer);
    std::unique_ptr<char[]> buffer = ZeroedBuffer(capacity);
    if (buffer == nullptr) {
        return nullptr;
    }
    std::size_t got = 0;
    while (got < total) {
        if (got == capacity) {
            // Grow only once the stream has filled what it was given, so a
            // length field that lies costs no more memory than the bytes read.
            const std::size_t grown = capacity > total / 2 ? total : capacity * 2;
            std::unique_ptr<char[]> larger = ZeroedBuffer(grown);
            if (larger == nullptr) {
                return nullptr;
            }
            std::memcpy(larger.get(), buffer.get(), got);
            buffer.swap(larger);
            capacity = grown;
        }
        const int ask = static_cast<int>(std::min<std::size_t>(capacity - got, INT_MAX));
        const int read = stream.Read(reinterpret_cast<unsigned char*>(buffer.get() + got), ask);
        if (read < 1) {
            streamError = read == -1;
            break;
        }
        if (read > ask) {
            return nullptr;
        }
        got += static_cast<std::size_t>(read);
    }
    if (got != total) {
        return nullptr;
    }
    return buffer;
}

bool JsonImporterExporter::ExportData(rapidjson::Value& value, Stream& stream, const unsigned char* identifier)
{
    if (identifier == nullptr) {
        return false;
    }
    RecordBuffer out;
    out.bytes.assign(HeaderBytes, '\0');
    rapidjson::Writer<RecordBuffer> writer(out);
    if (!value.Accept(writer)) {
        return false;
    }
    const std::size_t textLength = out.bytes.size() - HeaderBytes;
    if (!FitsIn<std::uint32_t>(textLength) || out.bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return false;
    }
    const int recordLength = static_cast<int>(out.bytes.size());

    std::lock_guard<std::mutex> lock(jsonMutex);
    std::memcpy(&out.bytes[0], identifier, IdentifierBytes);
    WriteLittleEndian32(static_cast<std::uint32_t>(textLength), &out.bytes[LengthOffset]);
    return stream.Write(reinterpret_cast<const unsigned char*>(out.bytes.data()), recordLength) == recordLength;
}

bool JsonImporterExporter::ExportData(Stream& stream)
{
    return ExportData(document_, stream, GetIdentifier());
}

bool JsonImporterExporter::ExportData(Stream& stream, const unsigned char* identifier)
{
    return ExportData(document_, stream, identifier);
}

bool JsonImporterExporter::ExportDataNoHeader(rapidjson::StringBuffer& out)
{
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    return document_.Accept(writer);
}

void JsonImporterExporter::ResetData()
{
    rapidjson::Document fresh = JsonDocumentParser::NewDocument();
    fresh.SetObject();
    document_.Swap(fresh);
}

const unsigned char* JsonImporterExporter::GetIdentifier() const
{
    return JSONGuid::JSON_Identifier_GUID;
}

unsigned int JsonImporterExporter::GetIdentifierLengthBytes() const
{
    return IdentifierBytes;
}

std::string JsonImporterExporter::GetSafeString(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case 0x08:
            out += "\\b";
            break;
        case 0x09:
            out += "\\t";
            break;
        case 0x0A:
            out += "\\n";
            break;
        case 0x0C:
            out += "\\f";
            break;
        case 0x0D:
            out += "\\r";
            break;
        case 0x22:
            out += "\\\"";
            break;
        case 0x5C:
            out += "\\\\";
            break;
        default:
            if (byte < 0x20) {
                out += "\\u00";
                out += hex[byte >> 4];
                out += hex[byte & 0x0F];
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string JsonImporterExporter::GetRawString(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] != '\\' || i + 1 >= size) {
            out += text[i];
            continue;
        }
        const char letter = text[i + 1];
        const int simple = SimpleEscape(letter);
        if (simple >= 0) {
            out += static_cast<char>(simple);
            ++i;
            continue;
        }
        if (letter == 'u' && i + 5 < size && HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0 &&
            HexDigit(text[i + 4]) >= 0 && HexDigit(text[i + 5]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 4]) * 16 + HexDigit(text[i + 5]));
            i += 5;
            continue;
        }
        // Not an escape this class writes: the backslash stays, and what
        // follows is read as ordinary text.
        out += text[i];
    }
    return out;
}
