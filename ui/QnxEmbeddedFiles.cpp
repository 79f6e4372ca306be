#include "QnxEmbeddedFiles.h"

#include <algorithm>
#include <cstring>

std::map<std::string, QnxEmbeddedFiles::BinaryResource> QnxEmbeddedFiles::embeddedFiles;

void QnxEmbeddedFiles::AddResources(const KeyAndResource* table, int count)
{
    if (table == nullptr || count < 1) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        // emplace leaves an existing entry alone: the first registration wins.
        embeddedFiles.emplace(table[i].key, table[i].resource);
    }
}

std::unique_ptr<QnxEmbeddedFiles::ReadOnlyObject> QnxEmbeddedFiles::OpenBinary(const std::string& path)
{
    const auto found = embeddedFiles.find(path);
    if (found != embeddedFiles.end()) {
        return std::make_unique<ReadOnlyMemory>(found->second.data, found->second.size);
    }
    return std::make_unique<ReadOnlyFile>(path);
}

QnxEmbeddedFiles::ReadOnlyMemory::ReadOnlyMemory(const unsigned char* data, std::int32_t size)
    : data_(data), size_(size)
{}

int QnxEmbeddedFiles::ReadOnlyMemory::Read(void* buffer, int count)
{
    if (!IsGood() || count < 1 || buffer == nullptr) {
        return 0;
    }
    const std::int32_t n = std::min<std::int32_t>(size_ - position_, count);
    std::memcpy(buffer, data_ + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

bool QnxEmbeddedFiles::ReadOnlyMemory::IsGood() const
{
    return data_ != nullptr && position_ < size_;
}

const unsigned char* QnxEmbeddedFiles::ReadOnlyMemory::GetBuffer() const
{
    return data_;
}

int QnxEmbeddedFiles::ReadOnlyMemory::GetSize() const
{
    return size_;
}

QnxEmbeddedFiles::ReadOnlyFile::ReadOnlyFile(const std::string& path) : file_(std::fopen(path.c_str(), "rb"))
{}

QnxEmbeddedFiles::ReadOnlyFile::~ReadOnlyFile()
{
    if (file_ != nullptr) {
        (void)std::fclose(file_);
    }
}

int QnxEmbeddedFiles::ReadOnlyFile::Read(void* buffer, int count)
{
    // A negative count would become a huge size_t for fread and overrun the
    // caller's buffer, so it reads nothing, as it does for memory streams.
    if (!IsGood() || count < 1 || buffer == nullptr) {
        return 0;
    }
    return static_cast<int>(std::fread(buffer, 1, static_cast<std::size_t>(count), file_));
}

bool QnxEmbeddedFiles::ReadOnlyFile::IsGood() const
{
    return file_ != nullptr && std::feof(file_) == 0 && std::ferror(file_) == 0;
}

const unsigned char* QnxEmbeddedFiles::ReadOnlyFile::GetBuffer() const
{
    return nullptr;
}

int QnxEmbeddedFiles::ReadOnlyFile::GetSize() const
{
    return -1;
}
