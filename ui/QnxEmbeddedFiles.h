#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

// The files compiled into the program (pages, layout files, glyphs), looked up
// by their absolute path, with the real file system as the fallback.
//
// The table is filled once at start-up by AddResources, on the thread that
// builds the screen facade, and is only read afterwards; lookups take no lock.
// It must not be filled from another unit's static initialisation (the map is
// itself built then). Stream objects are used by one thread at a time.
class QnxEmbeddedFiles
{
public:
    // One compiled-in file. The bytes are not owned: they live in the
    // program's read-only data for the whole run.
    struct BinaryResource
    {
        const unsigned char* data;
        std::int32_t size;
    };

    // One row of a resource table: the absolute path and its bytes.
    struct KeyAndResource
    {
        std::string key;
        BinaryResource resource;
    };

    // A read-only byte stream over a compiled-in file or a file on disk.
    // Failures are results: a stream that cannot deliver is not good and
    // reads 0 bytes.
    class ReadOnlyObject
    {
    public:
        ReadOnlyObject() = default;
        virtual ~ReadOnlyObject() = default;
        ReadOnlyObject(const ReadOnlyObject&) = delete;
        ReadOnlyObject& operator=(const ReadOnlyObject&) = delete;

        // Copies up to count bytes into buffer; returns how many were copied,
        // 0 when the stream is not good or count is below 1.
        virtual int Read(void* buffer, int count) = 0;
        // True while more bytes may be read.
        virtual bool IsGood() const = 0;
        // The whole resource when it is in memory, otherwise null.
        virtual const unsigned char* GetBuffer() const = 0;
        // Its size in bytes when it is in memory, otherwise -1.
        virtual int GetSize() const = 0;
    };

    // A compiled-in file. Does not own the bytes.
    class ReadOnlyMemory : public ReadOnlyObject
    {
    public:
        ReadOnlyMemory(const unsigned char* data, std::int32_t size);

        int Read(void* buffer, int count) override;
        // The data pointer is not null and not all bytes have been read.
        bool IsGood() const override;
        const unsigned char* GetBuffer() const override;
        int GetSize() const override;

    private:
        const unsigned char* data_;
        std::int32_t size_;
        std::int32_t position_ = 0;
    };

    // A file on disk, opened for binary reading. Owns the C stream and
    // closes it when destroyed; the stream is null when the open failed.
    class ReadOnlyFile : public ReadOnlyObject
    {
    public:
        explicit ReadOnlyFile(const std::string& path);
        ~ReadOnlyFile() override;

        int Read(void* buffer, int count) override;
        // The stream is open and neither at its end nor failed.
        bool IsGood() const override;
        // Always null: the bytes are not in memory.
        const unsigned char* GetBuffer() const override;
        // Always -1.
        int GetSize() const override;

    private:
        std::FILE* file_;
    };

    QnxEmbeddedFiles() = delete;

    // Registers the first count rows of table (nothing when count is below
    // 1). A key already present keeps its first entry. Keys are copied, the
    // bytes are not.
    static void AddResources(const KeyAndResource* table, int count);

    // Opens path: from memory when it is a registered key (exact,
    // case-sensitive match), otherwise from the file system. Never returns
    // null; a path found nowhere gives a stream that is not good.
    static std::unique_ptr<ReadOnlyObject> OpenBinary(const std::string& path);

    // Path -> bytes, empty until AddResources fills it.
    static std::map<std::string, BinaryResource> embeddedFiles;
};
