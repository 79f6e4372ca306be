// Writing a file into arbitrary chip images: a write never touches the
// header bytes, never leaves a file readable as bytes that fail their check
// word, and a write that reports success reads back.
// Input: one operation byte (file and payload size), then the image.
#include "ImageChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::uint8_t op = data[0];
    auto bus = ImageChecks::BoardWith(data + 1, size - 1);
    QnxEEPromHandler handler(bus, QnxEEPromHandler::EEPromLocation::StandardBoard);

    const auto file = static_cast<EEPromHandler::FilesInEEProm>(op % 3);
    // Each page written costs a real 5 ms pause: keep the files that may move small.
    unsigned int movable = 0;
    for (unsigned int i = file; i < 3; ++i) {
        movable += handler.GetFileTable()[i].size;
    }
    if (movable > 1024) {
        return 0;
    }
    const std::vector<std::uint8_t> header(bus->Memory().begin(), bus->Memory().begin() + 4);
    const std::vector<unsigned char> payload(1u + (op >> 2) * 2u, op);
    const bool written = handler.Write(file, payload);
    ImageChecks::Check(std::vector<std::uint8_t>(bus->Memory().begin(), bus->Memory().begin() + 4) == header);

    QnxEEPromHandler after(bus, QnxEEPromHandler::EEPromLocation::StandardBoard);
    ImageChecks::CheckEveryFile(*bus, after);
    if (written) {
        ImageChecks::Check(after.Read(file) == std::string(payload.begin(), payload.end()));
    }
    return 0;
}
