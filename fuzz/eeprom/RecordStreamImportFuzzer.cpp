// Framed records from a stream: the plain and the identifier-checking import.
#include "JsonImporterExporter.h"

#include "ByteBufferStream.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ByteBufferStream stream(data, size);
    JsonImporterExporter json;
    json.ImportData(stream);
    stream.Rewind();
    bool streamError = false;
    json.ImportDataNoRetry(stream, streamError);
    rapidjson::StringBuffer text;
    json.ExportDataNoHeader(text);
    return 0;
}
