#pragma once

#include "Stream.h"

#include <cstddef>
#include <string>
#include <vector>

// A Stream over bytes held in memory: it owns a copy of the bytes it was given,
// reads them from the first byte on, and appends whatever is written to it.
//
// Reads return the bytes not yet read (0 at the end); writes always append all
// bytes. After Close() both return -1 and the status is Closed; the bytes stay
// available through GetBytes(). Used by one thread at a time.
class ByteBufferStream : public Stream
{
public:
    using Stream::Read;
    using Stream::Write;

    ByteBufferStream();
    explicit ByteBufferStream(std::vector<unsigned char> bytes);
    ByteBufferStream(const unsigned char* bytes, std::size_t length);
    explicit ByteBufferStream(const std::string& bytes);
    ~ByteBufferStream() override = default;

    int Read(unsigned char* buf, int len) override;
    int Write(const unsigned char* buf, int len) override;
    void Close() override;

    // All bytes held, read or not, including everything written.
    const std::vector<unsigned char>& GetBytes() const { return bytes_; }
    // Bytes that the next reads would still deliver.
    std::size_t Remaining() const { return bytes_.size() - readPos_; }
    // Starts reading again from the first byte.
    void Rewind() { readPos_ = 0; }

private:
    std::vector<unsigned char> bytes_;
    std::size_t readPos_ = 0;
};
