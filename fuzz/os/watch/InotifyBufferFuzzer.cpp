// Random bytes as an inotify read buffer: the events handed out must lie
// inside the bytes, and every entry name must convert to the wide form and
// back without loss of the converted text.
#include "PosixINotifier.h"
#include "Utf8Path.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Copied to aligned storage of at most one read, as the watcher reads.
    const std::size_t length = size < PosixINotifier::BufferSize ? size : PosixINotifier::BufferSize;
    std::vector<inotify_event> storage(PosixINotifier::BufferSize / sizeof(inotify_event) + 1);
    auto* bytes = reinterpret_cast<unsigned char*>(storage.data());
    if (length != 0) {
        std::memcpy(bytes, data, length);
    }
    std::size_t offset = 0;
    while (const inotify_event* event = PosixINotifier::NextInBuffer(bytes, length, offset)) {
        const auto* start = reinterpret_cast<const unsigned char*>(event);
        if (start < bytes || offset > length || start + PosixINotifier::HeaderSize + event->len > bytes + length) {
            std::abort();
        }
        const std::string name(event->name, strnlen(event->name, event->len));
        const std::wstring wide = Utf8Path::ToWide(name);
        std::string back;
        if (!Utf8Path::ToUtf8(wide, back) || Utf8Path::ToWide(back) != wide) {
            std::abort();
        }
    }
    return 0;
}
