#pragma once

#include <chrono>
#include <string>
#include <vector>

// The program's common byte stream: a source and sink of raw bytes that
// byte-oriented code (the framed-record importer, the board EEPROM device)
// uses without knowing what is behind it.
//
// Results: Read and Write return the number of bytes moved, which may be less
// than asked for, or -1 when the stream failed. A stream is used by one thread
// at a time.
class Stream
{
public:
    enum class Type
    {
        Unknown,
        Memory,
        File,
        Device
    };
    enum class Status
    {
        Closed,
        Open,
        Failed
    };
    enum class ConnectivitySource
    {
        None,
        Local,
        Bus
    };
    enum class StreamDataType
    {
        Binary,
        Text
    };

    Stream() = default;
    Stream(std::string id, Type type, ConnectivitySource source);
    virtual ~Stream() = default;

    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    virtual int Read(unsigned char* buf, int len) = 0;
    // Streams without a notion of waiting ignore the time-out and read at once.
    virtual int Read(unsigned char* buf, int len, std::chrono::microseconds timeout);
    virtual int Write(const unsigned char* buf, int len) = 0;
    // Copies up to len bytes from source into this stream; returns the number
    // written, or -1 when either side failed before anything was written.
    virtual int Write(Stream& source, int len);
    virtual int Write(const std::vector<unsigned char>& bytes);
    virtual void Close() = 0;

    virtual std::string GetID() const;
    virtual Type GetType() const;
    virtual Status GetStatus() const;
    virtual ConnectivitySource GetConnectivitySource() const;
    virtual StreamDataType GetStreamDataType() const;
    virtual void SetStreamDataType(StreamDataType type);

protected:
    void SetStatus(Status status) { status_ = status; }

private:
    std::string id_;
    Type type_ = Type::Unknown;
    Status status_ = Status::Open;
    ConnectivitySource source_ = ConnectivitySource::None;
    StreamDataType dataType_ = StreamDataType::Binary;
};
