#include "QnxEmbeddedFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

// The table is process-wide and never shrinks, so every test registers keys
// of its own.
namespace {
const unsigned char kBytes[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
const unsigned char kOther[] = {'X', 'Y'};

std::vector<unsigned char> ReadAll(QnxEmbeddedFiles::ReadOnlyObject& stream, int piece)
{
    std::vector<unsigned char> all;
    std::vector<unsigned char> buffer(static_cast<std::size_t>(piece));
    for (int guard = 0; guard < 100000 && stream.IsGood(); ++guard) {
        const int n = stream.Read(buffer.data(), piece);
        all.insert(all.end(), buffer.begin(), buffer.begin() + n);
    }
    return all;
}

// A file of our own in the test's temporary folder, removed afterwards.
class TemporaryFile
{
public:
    explicit TemporaryFile(const std::string& contents)
    {
        char name[] = "/tmp/embedded_files_XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) {
            close(fd);
            path_ = name;
            std::ofstream(path_, std::ios::binary) << contents;
        }
    }
    ~TemporaryFile()
    {
        if (!path_.empty()) {
            std::remove(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
} // namespace

TEST(EmbeddedFilesLookup, RegisteredPathOpensFromMemory)
{
    const QnxEmbeddedFiles::KeyAndResource rows[] = {{"/lookup/a.bin", {kBytes, 10}}};
    QnxEmbeddedFiles::AddResources(rows, 1);

    auto stream = QnxEmbeddedFiles::OpenBinary("/lookup/a.bin");
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(stream->IsGood());
    EXPECT_EQ(stream->GetBuffer(), kBytes);
    EXPECT_EQ(stream->GetSize(), 10);
}

TEST(EmbeddedFilesLookup, PathDifferingOnlyInCaseGoesToTheFileSystem)
{
    const QnxEmbeddedFiles::KeyAndResource rows[] = {{"/lookup/Case.bin", {kBytes, 10}}};
    QnxEmbeddedFiles::AddResources(rows, 1);

    auto stream = QnxEmbeddedFiles::OpenBinary("/lookup/case.bin");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->GetBuffer(), nullptr);
    EXPECT_EQ(stream->GetSize(), -1);
    EXPECT_FALSE(stream->IsGood());
}

TEST(EmbeddedFilesLookup, UnregisteredExistingFileStreamsItsBytes)
{
    const std::string contents(5000, 'q');
    TemporaryFile file(contents + "end");
    ASSERT_FALSE(file.Path().empty());

    auto stream = QnxEmbeddedFiles::OpenBinary(file.Path());
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(stream->IsGood());
    EXPECT_EQ(stream->GetBuffer(), nullptr);
    EXPECT_EQ(stream->GetSize(), -1);
    const auto bytes = ReadAll(*stream, 777);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), contents + "end");
    EXPECT_FALSE(stream->IsGood());
    unsigned char spare[4];
    EXPECT_EQ(stream->Read(spare, 4), 0);
}

TEST(EmbeddedFilesLookup, MissingPathGivesAStreamThatIsNotGood)
{
    auto stream = QnxEmbeddedFiles::OpenBinary("/no/such/dir/file.png");
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(stream->IsGood());
    unsigned char buffer[8] = {};
    EXPECT_EQ(stream->Read(buffer, 8), 0);
    EXPECT_EQ(stream->GetBuffer(), nullptr);
    EXPECT_EQ(stream->GetSize(), -1);

    auto empty = QnxEmbeddedFiles::OpenBinary("");
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(empty->IsGood());
}

TEST(EmbeddedFilesRegistration, ZeroOrNegativeCountLeavesTheTableUnchanged)
{
    const QnxEmbeddedFiles::KeyAndResource rows[] = {{"/count/zero.bin", {kBytes, 10}}};
    const auto before = QnxEmbeddedFiles::embeddedFiles.size();
    QnxEmbeddedFiles::AddResources(rows, 0);
    QnxEmbeddedFiles::AddResources(rows, -1);
    QnxEmbeddedFiles::AddResources(rows, -2147483647 - 1);
    QnxEmbeddedFiles::AddResources(nullptr, 3);
    EXPECT_EQ(QnxEmbeddedFiles::embeddedFiles.size(), before);
    EXPECT_EQ(QnxEmbeddedFiles::embeddedFiles.count("/count/zero.bin"), 0U);
}

TEST(EmbeddedFilesRegistration, OnlyTheFirstCountRowsAreRegisteredInOrder)
{
    const QnxEmbeddedFiles::KeyAndResource rows[] = {
        {"/count/one.bin", {kBytes, 10}},
        {"/count/two.bin", {kOther, 2}},
        {"/count/three.bin", {kOther, 2}},
    };
    QnxEmbeddedFiles::AddResources(rows, 2);
    EXPECT_EQ(QnxEmbeddedFiles::embeddedFiles.count("/count/one.bin"), 1U);
    EXPECT_EQ(QnxEmbeddedFiles::embeddedFiles.count("/count/two.bin"), 1U);
    EXPECT_EQ(QnxEmbeddedFiles::embeddedFiles.count("/count/three.bin"), 0U);
}

TEST(EmbeddedFilesRegistration, RepeatedKeyKeepsTheFirstRow)
{
    const QnxEmbeddedFiles::KeyAndResource rows[] = {
        {"/repeat/x.bin", {kBytes, 10}},
        {"/repeat/x.bin", {kOther, 2}},
    };
    QnxEmbeddedFiles::AddResources(rows, 2);
    const QnxEmbeddedFiles::KeyAndResource later[] = {{"/repeat/x.bin", {kOther, 2}}};
    QnxEmbeddedFiles::AddResources(later, 1);

    auto stream = QnxEmbeddedFiles::OpenBinary("/repeat/x.bin");
    EXPECT_EQ(stream->GetBuffer(), kBytes);
    EXPECT_EQ(stream->GetSize(), 10);
}

TEST(EmbeddedFilesRegistration, KeyIsCopiedIntoTheTable)
{
    {
        std::vector<QnxEmbeddedFiles::KeyAndResource> rows{{std::string("/copied/") + "k.bin", {kOther, 2}}};
        QnxEmbeddedFiles::AddResources(rows.data(), 1);
    }
    EXPECT_EQ(QnxEmbeddedFiles::OpenBinary("/copied/k.bin")->GetSize(), 2);
}

TEST(EmbeddedMemoryStream, ReadingInPiecesEndsWithTheRemainder)
{
    QnxEmbeddedFiles::ReadOnlyMemory stream(kBytes, 10);
    unsigned char buffer[4] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, buffer + 4), "abcd");
    EXPECT_EQ(stream.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, buffer + 4), "efgh");
    EXPECT_TRUE(stream.IsGood());
    EXPECT_EQ(stream.Read(buffer, 4), 2);
    EXPECT_EQ(std::string(buffer, buffer + 2), "ij");
    EXPECT_FALSE(stream.IsGood());
    EXPECT_EQ(stream.Read(buffer, 4), 0);
}

TEST(EmbeddedMemoryStream, CountBelowOneReadsNothingAndKeepsThePosition)
{
    QnxEmbeddedFiles::ReadOnlyMemory stream(kBytes, 10);
    unsigned char buffer[10] = {};
    EXPECT_EQ(stream.Read(buffer, 0), 0);
    EXPECT_EQ(stream.Read(buffer, -5), 0);
    EXPECT_EQ(stream.Read(buffer, 10), 10);
    EXPECT_EQ(buffer[0], 'a');
}

TEST(EmbeddedMemoryStream, ZeroSizeResourceIsNotGoodFromTheStart)
{
    const QnxEmbeddedFiles::KeyAndResource rows[] = {{"/zero/empty.bin", {kBytes, 0}}};
    QnxEmbeddedFiles::AddResources(rows, 1);
    auto stream = QnxEmbeddedFiles::OpenBinary("/zero/empty.bin");
    EXPECT_FALSE(stream->IsGood());
    unsigned char buffer[4] = {};
    EXPECT_EQ(stream->Read(buffer, 4), 0);
    EXPECT_EQ(stream->GetBuffer(), kBytes);
    EXPECT_EQ(stream->GetSize(), 0);
}

TEST(EmbeddedMemoryStream, NullDataOrNegativeSizeIsNeverGood)
{
    unsigned char buffer[4] = {};
    QnxEmbeddedFiles::ReadOnlyMemory nullData(nullptr, 10);
    EXPECT_FALSE(nullData.IsGood());
    EXPECT_EQ(nullData.Read(buffer, 4), 0);
    QnxEmbeddedFiles::ReadOnlyMemory negative(kBytes, -3);
    EXPECT_FALSE(negative.IsGood());
    EXPECT_EQ(negative.Read(buffer, 4), 0);
}

TEST(EmbeddedFileStream, DirectoryPathReadsNothingAndThenIsNotGood)
{
    auto stream = QnxEmbeddedFiles::OpenBinary("/");
    ASSERT_NE(stream, nullptr);
    unsigned char buffer[16] = {};
    EXPECT_EQ(stream->Read(buffer, 16), 0);
    EXPECT_FALSE(stream->IsGood());
    EXPECT_EQ(stream->GetSize(), -1);
}

TEST(EmbeddedFileStream, NegativeCountReadsNothing)
{
    TemporaryFile file("0123456789");
    ASSERT_FALSE(file.Path().empty());
    QnxEmbeddedFiles::ReadOnlyFile stream(file.Path());
    unsigned char buffer[4] = {};
    EXPECT_EQ(stream.Read(buffer, -1), 0);
    EXPECT_EQ(stream.Read(buffer, 0), 0);
    EXPECT_TRUE(stream.IsGood());
    EXPECT_EQ(stream.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, buffer + 4), "0123");
}
