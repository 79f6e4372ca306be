#include "EmbeddedResourceTable.h"
#include "ResourceFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {
std::vector<unsigned char> Bytes(const QnxEmbeddedFiles::BinaryResource& resource)
{
    if (resource.data == nullptr || resource.size < 0) {
        return {};
    }
    return std::vector<unsigned char>(resource.data, resource.data + resource.size);
}
} // namespace

TEST(EmbeddedResourceTable, HasOneRowPerCompiledInFileInTableOrder)
{
    const auto expected = ResourceFiles::TableOrder();
    ASSERT_EQ(expected.size(), 132U);
    ASSERT_EQ(EmbeddedResourceTable::RowCount, 132);
    const auto* rows = EmbeddedResourceTable::Rows();
    ASSERT_NE(rows, nullptr);
    for (int i = 0; i < EmbeddedResourceTable::RowCount; ++i) {
        EXPECT_EQ(rows[i].key, "/Upgrade/qnxupgrade/" + expected[static_cast<std::size_t>(i)]) << "row " << i;
    }
    EXPECT_EQ(rows[0].key, "/Upgrade/qnxupgrade/bahasaindonesian/15.png");
    EXPECT_EQ(rows[28].key, "/Upgrade/qnxupgrade/english/16.png");
    EXPECT_EQ(rows[90].key, "/Upgrade/qnxupgrade/bahasaindonesian/coordinates.json");
    EXPECT_EQ(rows[130].key, "/Upgrade/qnxupgrade/numbers/percent.png");
    EXPECT_EQ(rows[131].key, "/Upgrade/qnxupgrade/numbers/period.png");
}

TEST(EmbeddedResourceTable, EveryKeyHoldsExactlyTheBytesOfItsFile)
{
    const auto expected = ResourceFiles::TableOrder();
    const auto* rows = EmbeddedResourceTable::Rows();
    for (int i = 0; i < EmbeddedResourceTable::RowCount; ++i) {
        const auto& path = expected[static_cast<std::size_t>(i)];
        const auto file = ResourceFiles::Read(path);
        ASSERT_FALSE(file.empty()) << path;
        EXPECT_EQ(rows[i].resource.size, static_cast<std::int32_t>(file.size())) << path;
        EXPECT_TRUE(Bytes(rows[i].resource) == file) << path;
    }
}

TEST(EmbeddedResourceTable, RowsAreTheSameOnEveryCall)
{
    EXPECT_EQ(EmbeddedResourceTable::Rows(), EmbeddedResourceTable::Rows());
}

TEST(EmbeddedResourceTable, RegisteredTableOpensEveryKeyFromMemory)
{
    QnxEmbeddedFiles::AddResources(EmbeddedResourceTable::Rows(), EmbeddedResourceTable::RowCount);
    std::set<std::string> keys;
    const auto* rows = EmbeddedResourceTable::Rows();
    for (int i = 0; i < EmbeddedResourceTable::RowCount; ++i) {
        keys.insert(rows[i].key);
        auto stream = QnxEmbeddedFiles::OpenBinary(rows[i].key);
        EXPECT_EQ(stream->GetBuffer(), rows[i].resource.data) << rows[i].key;
        EXPECT_EQ(stream->GetSize(), rows[i].resource.size) << rows[i].key;
        EXPECT_TRUE(stream->IsGood()) << rows[i].key;
    }
    EXPECT_EQ(keys.size(), 132U) << "keys are unique";

    // A layout file read through the stream in pieces gives its whole text.
    auto layout = QnxEmbeddedFiles::OpenBinary("/Upgrade/qnxupgrade/english/coordinates.json");
    std::string text;
    char piece[64];
    while (layout->IsGood()) {
        const int n = layout->Read(piece, static_cast<int>(sizeof piece));
        text.append(piece, static_cast<std::size_t>(n));
    }
    const auto file = ResourceFiles::Read("english/coordinates.json");
    EXPECT_EQ(text, std::string(file.begin(), file.end()));
}
