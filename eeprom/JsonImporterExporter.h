#pragma once

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

class Stream;

// Identifiers that open a framed JSON record, in file order.
namespace JSONGuid {
// Written by default, and accepted by every import.
inline constexpr unsigned char JSON_Identifier_GUID[16] = {0xb3, 0xec, 0x09, 0x9a, 0x22, 0x92, 0x48, 0xfa,
                                                           0x83, 0xd0, 0x06, 0x84, 0x0b, 0xc9, 0x91, 0x02};
// Also accepted by ImportDataNoRetry.
inline constexpr unsigned char AlternateJsonIdentifier[16] = {0xcd, 0xb4, 0x69, 0x80, 0x7f, 0xd5, 0x4c, 0xeb,
                                                              0x86, 0x32, 0x59, 0x13, 0x62, 0x61, 0x8b, 0x90};
} // namespace JSONGuid

// One JSON document and its byte form, the framed record:
//   offset 0, 16 bytes: identifier
//   offset 16, 4 bytes: text length N, unsigned little-endian
//   offset 20, N bytes: compact UTF-8 JSON text, no terminating zero
//
// The root is an empty object after construction and after ResetData(). A
// successful import replaces the document; a failed parse keeps it. Imports
// refuse a length of 0 and (except ImportDataNoRetry) one above a quarter of
// the free physical memory. Nesting deeper than 128 levels counts as a parse
// error. Nothing throws or reports for bad input.
//
// Threads: the class-wide jsonMutex serialises every parse into any instance
// and the final write of every exported record. The document itself is not
// locked: one object must not be read while another thread imports into it.
class JsonImporterExporter
{
public:
    using MemberIterator = rapidjson::Value::MemberIterator;

    static constexpr unsigned int HeaderBytes = 20;

    JsonImporterExporter();
    // Deep-copies the root of `source` (strings included) into its own memory;
    // a source nested deeper than 128 levels leaves the empty object.
    explicit JsonImporterExporter(const rapidjson::Document& source);
    virtual ~JsonImporterExporter();

    JsonImporterExporter(const JsonImporterExporter&) = delete;
    JsonImporterExporter& operator=(const JsonImporterExporter&) = delete;

    // The first root member named `name` (byte for byte). When there is none:
    // the root's member end when the root is an object, and a default
    // (singular) iterator when it is not - use the second form to test.
    virtual MemberIterator FindTag(const std::string& name);
    virtual bool FindTag(const std::string& name, MemberIterator& found);
    // Replace the value of an existing root member; false (and the document
    // unchanged) when there is no such member. Text is copied up to its first
    // zero byte.
    virtual bool UpdateTag(const std::string& name, const std::string& value);
    virtual bool UpdateTag(const std::string& name, int value);

    // Imports the record at the start of a writable block of blockSize bytes.
    // The record must fit with one byte to spare (21 + N <= blockSize): a zero
    // byte is written right after the text and the text is parsed in place,
    // so the document refers to the block, which must outlive every use of
    // the document. The identifier is not compared.
    // True when the text parsed and its root is an object (a parsed non-object
    // replaces the document all the same).
    virtual bool ImportData(unsigned char* record, std::size_t blockSize);
    // Reads one record from the stream (identifier not compared) and parses
    // a copy of its text. True only when the text parsed and its root is an
    // object.
    virtual bool ImportData(Stream& stream);
    // As ImportData(Stream&), but accepts only the two identifiers and reports
    // through streamError whether the stream itself failed (a read returned
    // -1), so that the caller can try again. Refuses a length of 0; the
    // memory limit of the other imports does not apply.
    virtual bool ImportDataNoRetry(Stream& stream, bool& streamError);
    // Writes the document as one record with the default identifier, or with
    // the caller's 16 bytes. True when the stream took every byte.
    virtual bool ExportData(Stream& stream);
    virtual bool ExportData(Stream& stream, const unsigned char* identifier);
    // The compact text alone; the writer's result.
    virtual bool ExportDataNoHeader(rapidjson::StringBuffer& out);
    // An empty object again, in fresh memory.
    virtual void ResetData();
    virtual const unsigned char* GetIdentifier() const;
    virtual unsigned int GetIdentifierLengthBytes() const;
    // Reads exactly `length` bytes into a zeroed buffer of length + 1 bytes
    // (so the text is zero-terminated); empty when the stream delivered fewer.
    // streamError is set when a read returned -1. Memory grows with what the
    // stream delivers, so a false length costs no more than the bytes read.
    virtual std::unique_ptr<char[]> ReadJsonDocumentAsBuffer(Stream& stream, unsigned int length, bool& streamError);

    // The common writer: `value` as one record with `identifier` (16 bytes;
    // null refuses). False when the value cannot be written as JSON, does not
    // fit a record, or the stream took fewer bytes.
    bool ExportData(rapidjson::Value& value, Stream& stream, const unsigned char* identifier);

    // JSON string escaping of a text, and its inverse. GetRawString turns the
    // escapes GetSafeString writes back into their bytes (\uXXXX: the byte of
    // its last two hex digits); any other backslash sequence - an unknown
    // letter, a \u without four hex digits, a lone backslash at the end - is
    // kept as it stands, so the result never reaches past the text.
    static std::string GetSafeString(const std::string& text);
    static std::string GetRawString(const std::string& text);

    // The document, for reading.
    const rapidjson::Document& GetDocument() const { return document_; }

    // Largest text length an import accepts: 25 % of the free physical
    // memory, saturated to 32 bits.
    static unsigned int ImportLimit();

private:
    bool ParseCopy(const char* text);

    static std::mutex jsonMutex;

    rapidjson::Document document_;
};
