#include "ByteBufferStream.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<unsigned char> Bytes(std::initializer_list<int> values)
{
    std::vector<unsigned char> out;
    for (int v : values) {
        out.push_back(static_cast<unsigned char>(v));
    }
    return out;
}

} // namespace

TEST(ByteBufferStreamReading, DeliversTheCopiedBytesFromTheFirstOnAndThenZero)
{
    unsigned char source[] = {1, 2, 3, 4, 5};
    ByteBufferStream stream(source, sizeof source);
    source[0] = 99; // the stream holds its own copy

    unsigned char buf[3] = {};
    EXPECT_EQ(stream.Read(buf, 3), 3);
    EXPECT_EQ(std::vector<unsigned char>(buf, buf + 3), Bytes({1, 2, 3}));
    EXPECT_EQ(stream.Read(buf, 3), 2);
    EXPECT_EQ(std::vector<unsigned char>(buf, buf + 2), Bytes({4, 5}));
    EXPECT_EQ(stream.Read(buf, 3), 0);
    EXPECT_EQ(stream.Remaining(), 0u);
}

TEST(ByteBufferStreamReading, RewindStartsOverAndBadArgumentsFail)
{
    ByteBufferStream stream(std::string("ab"));
    unsigned char buf[2] = {};
    EXPECT_EQ(stream.Read(buf, 2), 2);
    stream.Rewind();
    EXPECT_EQ(stream.Read(buf, 1), 1);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(stream.Read(buf, -1), -1);
    EXPECT_EQ(stream.Read(nullptr, 1), -1);
    EXPECT_EQ(stream.Read(buf, 0), 0);
}

TEST(ByteBufferStreamWriting, AppendsAfterExistingBytesAndCanBeReadBack)
{
    ByteBufferStream stream(Bytes({7}));
    const unsigned char more[] = {8, 9};
    EXPECT_EQ(stream.Write(more, 2), 2);
    EXPECT_EQ(stream.Write(Bytes({10})), 1);
    EXPECT_EQ(stream.GetBytes(), Bytes({7, 8, 9, 10}));

    unsigned char buf[8] = {};
    EXPECT_EQ(stream.Read(buf, 8), 4);
    EXPECT_EQ(stream.Write(more, -1), -1);
}

TEST(ByteBufferStreamClosing, RefusesReadsAndWritesButKeepsTheBytes)
{
    ByteBufferStream stream(Bytes({1, 2}));
    stream.Close();
    unsigned char buf[2] = {};
    EXPECT_EQ(stream.GetStatus(), Stream::Status::Closed);
    EXPECT_EQ(stream.Read(buf, 2), -1);
    EXPECT_EQ(stream.Write(buf, 2), -1);
    EXPECT_EQ(stream.GetBytes(), Bytes({1, 2}));
}

TEST(ByteBufferStreamCopying, CopiesFromAnotherStreamThroughTheBaseClass)
{
    ByteBufferStream source(std::vector<unsigned char>(1500, 0x5A));
    ByteBufferStream sink;
    EXPECT_EQ(sink.Write(source, 1200), 1200);
    EXPECT_EQ(sink.GetBytes().size(), 1200u);
    EXPECT_EQ(sink.Write(source, 1200), 300);
}
