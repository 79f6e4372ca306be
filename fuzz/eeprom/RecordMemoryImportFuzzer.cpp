// Framed records from memory: any bytes, in a block of exactly their size.
#include "JsonImporterExporter.h"

#include "ByteBufferStream.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A heap block of exactly the input's size, so that any access past it is caught.
    std::unique_ptr<unsigned char[]> block(new unsigned char[size == 0 ? 1 : size]);
    if (size > 0) {
        std::memcpy(block.get(), data, size);
    }
    JsonImporterExporter json;
    if (json.ImportData(block.get(), size)) {
        // An accepted record writes out and reads back in. (Texts are not
        // compared: a double may come back one unit of precision apart.)
        ByteBufferStream out;
        if (!json.ExportData(out)) {
            std::abort();
        }
        JsonImporterExporter again;
        bool streamError = false;
        if (!again.ImportDataNoRetry(out, streamError) ||
            again.GetDocument().MemberCount() != json.GetDocument().MemberCount()) {
            std::abort();
        }
    }
    json.UpdateTag("Properties", 1);
    json.UpdateTag("Name", std::string("x"));
    return 0;
}
