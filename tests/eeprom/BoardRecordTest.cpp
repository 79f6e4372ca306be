#include "BoardRecord.h"
#include "BoardImage.h"
#include "ModelI2CBus.h"
#include "QnxUpgradeCommon.h"

#include <gtest/gtest.h>

namespace {

using File = EEPromHandler::FilesInEEProm;

QnxEEPromHandler HandlerWithBuildRecord(const std::string& payload)
{
    auto image = BoardImage::Erased();
    BoardImage::PutFile(image, 0, 64, "cfg");
    if (!payload.empty()) {
        BoardImage::PutFile(image, 1, 128, payload);
    }
    return QnxEEPromHandler(std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(), image),
                            QnxEEPromHandler::EEPromLocation::StandardBoard);
}

TEST(BoardRecord, BuildNumberIsReadFromTheBuildRecord)
{
    const auto handler = HandlerWithBuildRecord("{\"Board\":7,\"BuildNumber\":\"3.4.7\"}\r\n");
    rapidjson::Document document;
    ASSERT_TRUE(QnxUpgradeCommon::JsonDeserializeEEprom(document, handler, File::BuildRecord));
    EXPECT_EQ(QnxUpgradeCommon::ExtractStringMemberFromJson(document, QnxUpgradeCommon::BuildNumberKey), "3.4.7");
    EXPECT_EQ(QnxUpgradeCommon::ExtractStringMemberFromJson(document, "Board"), "");
    EXPECT_EQ(QnxUpgradeCommon::ExtractStringMemberFromJson(document, "Missing"), "");
}

TEST(BoardRecord, MissingRecordLeavesTheDocumentUntouched)
{
    const auto handler = HandlerWithBuildRecord("");
    rapidjson::Document document;
    document.Parse("{\"BuildNumber\":\"1.0.0\"}");
    EXPECT_FALSE(QnxUpgradeCommon::JsonDeserializeEEprom(document, handler, File::BuildRecord));
    EXPECT_EQ(QnxUpgradeCommon::ExtractStringMemberFromJson(document, "BuildNumber"), "1.0.0");
}

TEST(BoardRecord, TextThatIsNotOneJsonValueIsRefused)
{
    rapidjson::Document document;
    EXPECT_FALSE(
        QnxUpgradeCommon::JsonDeserializeEEprom(document, HandlerWithBuildRecord("{\"a\":1} x"), File::BuildRecord));
    EXPECT_FALSE(
        QnxUpgradeCommon::JsonDeserializeEEprom(document, HandlerWithBuildRecord("{\"a\":"), File::BuildRecord));
    // A zero byte inside the record is part of the text, not its end.
    EXPECT_FALSE(QnxUpgradeCommon::JsonDeserializeEEprom(document, HandlerWithBuildRecord(std::string("{}\0x", 4)),
                                                         File::BuildRecord));
}

TEST(BoardRecord, OneCompleteByteOrderMarkIsSkippedAndNothingElse)
{
    rapidjson::Document document;
    EXPECT_TRUE(QnxUpgradeCommon::JsonDeserializeEEprom(document, HandlerWithBuildRecord("\xEF\xBB\xBF{\"a\":1} "),
                                                        File::BuildRecord));
    for (const char* text : {"\xBF{}", "\xEF\xBB{}", "\xEF\xBB\xBF\xBB{}"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(
            QnxUpgradeCommon::JsonDeserializeEEprom(document, HandlerWithBuildRecord(text), File::BuildRecord));
    }
}

TEST(BoardRecord, NestingBeyondTheParserLimitIsRefused)
{
    // A record the size of the chip nested this deep would run a small stack out.
    rapidjson::Document document;
    const std::string deep = std::string(200, '[') + std::string(200, ']');
    EXPECT_FALSE(QnxUpgradeCommon::JsonDeserializeEEprom(document, HandlerWithBuildRecord(deep), File::BuildRecord));
    const std::string fine = std::string(100, '[') + std::string(100, ']');
    EXPECT_TRUE(QnxUpgradeCommon::JsonDeserializeEEprom(document, HandlerWithBuildRecord(fine), File::BuildRecord));
}

TEST(BoardRecord, RootThatIsNotAnObjectHasNoMembers)
{
    rapidjson::Document document;
    ASSERT_TRUE(QnxUpgradeCommon::JsonDeserializeEEprom(document, HandlerWithBuildRecord("[\"BuildNumber\"]"),
                                                        File::BuildRecord));
    EXPECT_EQ(QnxUpgradeCommon::ExtractStringMemberFromJson(document, "BuildNumber"), "");
}

TEST(BoardRecord, StringMemberIsCopiedUpToItsFirstZeroByte)
{
    rapidjson::Document document;
    ASSERT_TRUE(QnxUpgradeCommon::JsonDeserializeEEprom(
        document, HandlerWithBuildRecord("{\"BuildNumber\":\"2.0\\u00001\"}"), File::BuildRecord));
    EXPECT_EQ(QnxUpgradeCommon::ExtractStringMemberFromJson(document, "BuildNumber"), "2.0");
}

} // namespace
