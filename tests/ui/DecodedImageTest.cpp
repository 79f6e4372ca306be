#include "DecodedImage.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace {

// Whether the memory page holding address is mapped in this process.
bool Mapped(const unsigned char* address)
{
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    void* start = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(address) / page * page);
    return msync(start, 1, MS_ASYNC) == 0 || errno != ENOMEM;
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
