#pragma once

#include <string>
#include <vector>

// A JSON text loaded into a document, with typed questions about the members
// of any object in it. ValueT is the JSON library's value type.
//
// `value` is an object of the document, usually its root; members are found
// by exact name. A lookup of an absent member, or on a value that is not an
// object, gives the default: false, 0, 0.0, an empty string, a null value or
// an empty vector. Readers that "move out" leave the member behind as null
// (array elements as empty objects). A reader is used by one thread at a time.
template <typename ValueT>
class JsonFileReader
{
public:
    JsonFileReader() = default;
    virtual ~JsonFileReader() = default;

    JsonFileReader(const JsonFileReader&) = delete;
    JsonFileReader& operator=(const JsonFileReader&) = delete;

    // Parses the source again; the document is replaced only when it parsed.
    virtual bool Reload() = 0;
    // True when the last load failed; test it before reading.
    virtual bool HasParseError() const = 0;
    virtual bool HasMember(const ValueT& value, const std::string& name) = 0;
    virtual ValueT& GetJsonDocument() = 0;
    // The member's value moved out of the document; null when absent.
    virtual ValueT ReadJsonObject(ValueT& value, const std::string& name) = 0;
    // True only for the literal true.
    virtual bool ReadBool(const ValueT& value, const std::string& name) = 0;
    // 0 unless the member is an integer that fits the asked type.
    virtual unsigned int ReadUInt(const ValueT& value, const std::string& name) = 0;
    virtual int ReadInt(const ValueT& value, const std::string& name) = 0;
    // Any number as a double; 0.0 for anything else.
    virtual double ReadNumber(const ValueT& value, const std::string& name) = 0;
    // The string up to its first zero byte; empty when not a string.
    virtual std::string ReadString(const ValueT& value, const std::string& name) = 0;
    // One entry per element of a non-empty array member, in order; otherwise
    // empty. Elements of the wrong kind give 0 or an empty string; objects
    // are moved out of the document.
    virtual std::vector<ValueT> ReadJsonObjectArray(ValueT& value, const std::string& name) = 0;
    virtual std::vector<unsigned int> ReadUIntArray(const ValueT& value, const std::string& name) = 0;
    virtual std::vector<int> ReadIntArray(const ValueT& value, const std::string& name) = 0;
    virtual std::vector<std::string> ReadStringArray(const ValueT& value, const std::string& name) = 0;
};
