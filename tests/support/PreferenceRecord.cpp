#include "PreferenceRecord.h"

#include "JsonImporterExporter.h"
#include "PropertyNames.h"

std::string PreferenceRecord(const std::string& language)
{
    const std::string text =
        std::string("{\"Properties\":[{\"Name\":\"") + PropertyNames::Language + "\",\"Value\":\"" + language + "\"}]}";
    std::string record(reinterpret_cast<const char*>(JSONGuid::JSON_Identifier_GUID), 16);
    for (int shift = 0; shift < 32; shift += 8) {
        record += static_cast<char>((text.size() >> shift) & 0xFF);
    }
    return record + text;
}
