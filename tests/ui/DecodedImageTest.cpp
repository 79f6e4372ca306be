#include "DecodedImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace {

// Whether the memory page holding address is mapped in this process, read
// from the process's own list of mappings: under an emulator (the 32-bit
// ARM build's tests) a system call on freed guest memory still succeeds,
// since the emulator keeps the address range reserved, but the list it
// shows the guest is the guest's own.
bool Mapped(const unsigned char* address)
{
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream range(line);
        std::uintptr_t start = 0;
        std::uintptr_t end = 0;
        char dash = 0;
        if ((range >> std::hex >> start >> dash >> end) && dash == '-' && start <= at && at < end) {
            return true;
        }
    }
    return false;
}

TEST(DecodedImage, APagesMemoryGoesBackToTheSystemWhenTheImageIsReleased)
{
    // More than once: an allocator may give back the first large block it
    // frees and keep later ones for reuse.
    for (int round = 0; round < 3; ++round) {
        DecodedImage page(1024, 600);
        unsigned char* const last = page.Row(599) + page.RowBytes() - 1;
        *last = 0x5A;
        // Moving hands the pixels over without copying or releasing them.
        DecodedImage shown = std::move(page);
        EXPECT_EQ(last, shown.Row(599) + shown.RowBytes() - 1);
        EXPECT_EQ(0x5A, *last);
        ASSERT_TRUE(Mapped(last));

        shown = DecodedImage();
        EXPECT_TRUE(shown.Empty());
        EXPECT_FALSE(Mapped(last)) << "round " << round;
    }
}

} // namespace
