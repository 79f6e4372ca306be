// Random bytes as an inotify read buffer, at any alignment: the events handed
// out must lie inside the bytes, and every entry name must convert to the wide
// form and back without loss of the converted text.
#include "PosixINotifier.h"
#include "Utf8Path.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte shifts the buffer off its alignment, as a reader must not
    // rely on the kernel's padding of names.
    if (size == 0) {
        return 0;
    }
    const std::size_t shift = data[0] % alignof(inotify_event);
    ++data;
    --size;
    const std::size_t length = size < PosixINotifier::BufferSize ? size : PosixINotifier::BufferSize;
    std::vector<unsigned char> storage(PosixINotifier::BufferSize + alignof(inotify_event));
    unsigned char* bytes = storage.data() + shift;
    if (length != 0) {
        std::memcpy(bytes, data, length);
    }
    std::size_t offset = 0;
    std::size_t before = 0;
    while (const std::optional<PosixINotifier::Event> event = PosixINotifier::NextInBuffer(bytes, length, offset)) {
        const auto* name = reinterpret_cast<const unsigned char*>(event->name.data());
        if (offset <= before || offset > length || name != bytes + before + PosixINotifier::HeaderSize ||
            name + event->name.size() > bytes + offset) {
            std::abort();
        }
        before = offset;
        const std::string text(event->name);
        const std::wstring wide = Utf8Path::ToWide(text);
        std::string back;
        if (!Utf8Path::ToUtf8(wide, back) || Utf8Path::ToWide(back) != wide) {
            std::abort();
        }
    }
    return 0;
}
