#include "Stream.h"

#include <algorithm>
#include <climits>
#include <utility>

Stream::Stream(std::string id, Type type, ConnectivitySource source) : id_(std::move(id)), type_(type), source_(source)
{}

int Stream::Read(unsigned char* buf, int len, std::chrono::microseconds)
{
    return Read(buf, len);
}

int Stream::Write(Stream& source, int len)
{
    if (len < 0) {
        return -1;
    }
    unsigned char block[512];
    int written = 0;
    while (written < len) {
        const int want = std::min(len - written, static_cast<int>(sizeof block));
        const int got = source.Read(block, want);
        if (got <= 0) {
            return (got < 0 && written == 0) ? -1 : written;
        }
        const int put = Write(block, got);
        if (put < 0) {
            return written == 0 ? -1 : written;
        }
        written += put;
        if (put < got) {
            break;
        }
    }
    return written;
}

int Stream::Write(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        return -1;
    }
    return Write(bytes.data(), static_cast<int>(bytes.size()));
}

std::string Stream::GetID() const
{
    return id_;
}
Stream::Type Stream::GetType() const
{
    return type_;
}
Stream::Status Stream::GetStatus() const
{
    return status_;
}
Stream::ConnectivitySource Stream::GetConnectivitySource() const
{
    return source_;
}
Stream::StreamDataType Stream::GetStreamDataType() const
{
    return dataType_;
}
void Stream::SetStreamDataType(StreamDataType type)
{
    dataType_ = type;
}
