#include "JsonDocumentParser.h"

#include <rapidjson/filereadstream.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace JsonDocumentParser {

namespace {

constexpr std::size_t ParseStackBytes = 1024;

// Forwards the reader's events to a document, counting how deep the open
// arrays and objects nest. ForceCopy makes the document copy every string,
// also those it would otherwise only refer to.
template <bool ForceCopy>
class DepthLimitedHandler
{
public:
    using Ch = char;

    explicit DepthLimitedHandler(rapidjson::Document& document) : document_(document) {}

    bool Null() { return document_.Null(); }
    bool Bool(bool b) { return document_.Bool(b); }
    bool Int(int i) { return document_.Int(i); }
    bool Uint(unsigned u) { return document_.Uint(u); }
    bool Int64(std::int64_t i) { return document_.Int64(i); }
    bool Uint64(std::uint64_t u) { return document_.Uint64(u); }
    // A number too large for a double would come back as infinity, which
    // JSON cannot write back out: refused as a parse error.
    bool Double(double d) { return std::isfinite(d) && document_.Double(d); }
    bool RawNumber(const Ch* s, rapidjson::SizeType n, bool copy)
    {
        return document_.RawNumber(s, n, ForceCopy || copy);
    }
    bool String(const Ch* s, rapidjson::SizeType n, bool copy) { return document_.String(s, n, ForceCopy || copy); }
    bool Key(const Ch* s, rapidjson::SizeType n, bool copy) { return document_.Key(s, n, ForceCopy || copy); }
    bool StartObject() { return Enter() && document_.StartObject(); }
    bool EndObject(rapidjson::SizeType members)
    {
        --depth_;
        return document_.EndObject(members);
    }
    bool StartArray() { return Enter() && document_.StartArray(); }
    bool EndArray(rapidjson::SizeType elements)
    {
        --depth_;
        return document_.EndArray(elements);
    }

private:
    bool Enter() { return ++depth_ <= MaxNestingDepth; }

    rapidjson::Document& document_;
    unsigned int depth_ = 0;
};

// Runs `produce` (which feeds a handler) into a fresh document and swaps the
// result into target when it succeeded.
template <typename Producer>
bool Build(rapidjson::Document& target, Producer&& produce)
{
    rapidjson::Document fresh = NewDocument();
    bool ok = false;
    auto generator = [&](rapidjson::Document& document) {
        ok = produce(document);
        return ok;
    };
    fresh.Populate(generator);
    if (ok) {
        target.Swap(fresh);
    }
    return ok;
}

template <unsigned Flags, typename InputStream>
bool ParseStream(rapidjson::Document& target, InputStream& input)
{
    return Build(target, [&input](rapidjson::Document& document) {
        DepthLimitedHandler<false> handler(document);
        rapidjson::Reader reader;
        return !reader.Parse<Flags>(input, handler).IsError();
    });
}

} // namespace

rapidjson::Document NewDocument()
{
    return rapidjson::Document(nullptr, ParseStackBytes);
}

bool ParseInsitu(rapidjson::Document& target, char* text)
{
    if (text == nullptr) {
        return false;
    }
    rapidjson::InsituStringStream input(text);
    return ParseStream<rapidjson::kParseInsituFlag>(target, input);
}

bool Parse(rapidjson::Document& target, const char* text)
{
    if (text == nullptr) {
        return false;
    }
    rapidjson::StringStream input(text);
    return ParseStream<rapidjson::kParseDefaultFlags>(target, input);
}

bool Parse(rapidjson::Document& target, const char* text, std::size_t length)
{
    if (text == nullptr) {
        return false;
    }
    // The memory stream reports a zero byte at its end, which the reader takes
    // as the end of the text, just as it does a zero byte inside it. It is
    // read as it is: rapidjson's encoded stream would drop any leading EF, BB
    // and BF bytes one by one, also parts of a mark.
    rapidjson::MemoryStream input(text, length);
    return ParseStream<rapidjson::kParseDefaultFlags>(target, input);
}

bool ParseWhole(rapidjson::Document& target, const char* text, std::size_t length)
{
    if (text == nullptr) {
        return false;
    }
    // The reader would take a zero byte for the end of the text: it stops
    // after the one value, and the rest is checked here.
    rapidjson::MemoryStream input(text, length);
    return Build(target, [&](rapidjson::Document& document) {
        DepthLimitedHandler<false> handler(document);
        rapidjson::Reader reader;
        if (reader.Parse<rapidjson::kParseStopWhenDoneFlag>(input, handler).IsError()) {
            return false;
        }
        return std::all_of(text + input.Tell(), text + length,
                           [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    });
}

bool ParseFile(rapidjson::Document& target, std::FILE* file)
{
    if (file == nullptr) {
        return false;
    }
    char buffer[4096];
    rapidjson::FileReadStream input(file, buffer, sizeof buffer);
    return ParseStream<rapidjson::kParseDefaultFlags>(target, input);
}

std::size_t ByteOrderMarkLength(const char* text, std::size_t length)
{
    constexpr char Mark[] = "\xEF\xBB\xBF";
    constexpr std::size_t MarkLength = sizeof Mark - 1;
    return text != nullptr && length >= MarkLength && std::memcmp(text, Mark, MarkLength) == 0 ? MarkLength : 0;
}

bool DeepCopy(rapidjson::Document& target, const rapidjson::Value& source)
{
    return Build(target, [&source](rapidjson::Document& document) {
        DepthLimitedHandler<true> handler(document);
        return source.Accept(handler);
    });
}

} // namespace JsonDocumentParser
