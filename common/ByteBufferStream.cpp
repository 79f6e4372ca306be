#include "ByteBufferStream.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

ByteBufferStream::ByteBufferStream() : Stream("ByteBuffer", Type::Memory, ConnectivitySource::Local)
{}

ByteBufferStream::ByteBufferStream(std::vector<unsigned char> bytes)
    : Stream("ByteBuffer", Type::Memory, ConnectivitySource::Local), bytes_(std::move(bytes))
{}

ByteBufferStream::ByteBufferStream(const unsigned char* bytes, std::size_t length)
    : Stream("ByteBuffer", Type::Memory, ConnectivitySource::Local)
{
    if (bytes != nullptr) {
        bytes_.assign(bytes, bytes + length);
    }
}

ByteBufferStream::ByteBufferStream(const std::string& bytes)
    : Stream("ByteBuffer", Type::Memory, ConnectivitySource::Local), bytes_(bytes.begin(), bytes.end())
{}

int ByteBufferStream::Read(unsigned char* buf, int len)
{
    if (GetStatus() != Status::Open || len < 0 || (buf == nullptr && len > 0)) {
        return -1;
    }
    const std::size_t count = std::min(static_cast<std::size_t>(len), Remaining());
    if (count > 0) {
        std::memcpy(buf, bytes_.data() + readPos_, count);
    }
    readPos_ += count;
    return static_cast<int>(count);
}

int ByteBufferStream::Write(const unsigned char* buf, int len)
{
    if (GetStatus() != Status::Open || len < 0 || (buf == nullptr && len > 0)) {
        return -1;
    }
    // The read position is an index, so growing the vector keeps it valid.
    bytes_.insert(bytes_.end(), buf, buf + len);
    return len;
}

void ByteBufferStream::Close()
{
    SetStatus(Status::Closed);
}
