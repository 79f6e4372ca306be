// Reading the board EEPROM's file table from arbitrary chip images (erased,
// zeroed, tables pointing anywhere, wrong check words, truncated records):
// nothing may crash and no read may hand out bytes that fail their check word.
// Input: the image; a short one is erased behind its end.
#include "BoardRecord.h"
#include "EEPromHelper.h"
#include "ImageChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto bus = ImageChecks::BoardWith(data, size);
    QnxEEPromHandler handler(bus, QnxEEPromHandler::EEPromLocation::StandardBoard);
    ImageChecks::CheckEveryFile(*bus, handler);

    rapidjson::Document document;
    if (QnxUpgradeCommon::JsonDeserializeEEprom(document, handler, EEPromHandler::BuildRecord)) {
        QnxUpgradeCommon::ExtractStringMemberFromJson(document, "BuildNumber");
    }
    handler.GetFileStartAddress(EEPromHandler::ThirdFile);
    handler.WordGet(1);
    return 0;
}
