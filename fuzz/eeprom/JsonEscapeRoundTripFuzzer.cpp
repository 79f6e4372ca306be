// Escaping and unescaping of record strings: any text must come back unchanged,
// and unescaping arbitrary text must stay inside it.
#include "JsonImporterExporter.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (JsonImporterExporter::GetRawString(JsonImporterExporter::GetSafeString(text)) != text) {
        std::abort();
    }
    if (JsonImporterExporter::GetRawString(text).size() > text.size()) {
        std::abort();
    }
    return 0;
}
