#include "MemoryOperation.h"

#include <sys/neutrino.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Points the system manager's memory figure at a file of the test's choice.
class MeminfoFile
{
public:
    explicit MeminfoFile(const std::string& content)
    {
        char pattern[] = "/tmp/meminfoXXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) {
            close(fd);
        }
        path_ = pattern;
        std::ofstream(path_) << content;
        setenv("UPGRADE_HOST_MEMINFO", path_.c_str(), 1);
    }
    ~MeminfoFile()
    {
        unsetenv("UPGRADE_HOST_MEMINFO");
        std::remove(path_.c_str());
    }
    MeminfoFile(const MeminfoFile&) = delete;
    MeminfoFile& operator=(const MeminfoFile&) = delete;

private:
    std::string path_;
};

} // namespace

TEST(MemoryInfoMessage, RequestIsTypeZeroFdMinusOneAndZeroWords)
{
    const auto request = MemoryOperation::BuildInfoRequest();
    std::uint16_t type = 0, zero = 1;
    std::int32_t fd = 0;
    std::uint32_t words[2] = {1, 1};
    std::memcpy(&type, request.data(), 2);
    std::memcpy(&zero, request.data() + 2, 2);
    std::memcpy(&fd, request.data() + 4, 4);
    std::memcpy(words, request.data() + 8, 8);
    EXPECT_EQ(type, 0x42);
    EXPECT_EQ(zero, 0);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(words[0], 0u);
    EXPECT_EQ(words[1], 0u);
}

TEST(MemoryInfoMessage, FreeMemoryIsTheLengthAtOffsetSixteen)
{
    std::array<unsigned char, MemoryOperation::InfoReplyBytes> reply{};
    const std::uint64_t length = 0x123456789ull;
    std::memcpy(reply.data() + 16, &length, 8);
    reply[15] = 0xFF;
    reply[24] = 0xFF;
    EXPECT_EQ(MemoryOperation::FreeMemoryFromReply(reply), length);
}

TEST(AvailablePhysicalMemory, IsTheKernelsAvailableFigureInBytes)
{
    const MeminfoFile file("MemTotal: 8000000 kB\nMemFree: 100 kB\nMemAvailable: 2048 kB\n");
    EXPECT_EQ(MemoryOperation::GetAvailablePhysicalMemory(), 2048u * 1024u);
}

TEST(AvailablePhysicalMemory, FallsBackToFreeMemoryOnOlderKernels)
{
    const MeminfoFile file("MemTotal: 8000000 kB\nMemFree: 300 kB\n");
    EXPECT_EQ(MemoryOperation::GetAvailablePhysicalMemory(), 300u * 1024u);
}

TEST(AvailablePhysicalMemory, IsZeroWhenTheSystemManagerCannotAnswer)
{
    const MeminfoFile file("nothing useful\n");
    EXPECT_EQ(MemoryOperation::GetAvailablePhysicalMemory(), 0u);
}

TEST(AvailablePhysicalMemory, ComesFromTheRealMachineByDefault)
{
    unsetenv("UPGRADE_HOST_MEMINFO");
    EXPECT_GT(MemoryOperation::GetAvailablePhysicalMemory(), 0u);
}

TEST(SystemManagerStandIn, RefusesOtherConnectionsAndMessages)
{
    const auto request = MemoryOperation::BuildInfoRequest();
    unsigned char reply[40];
    errno = 0;
    EXPECT_EQ(MsgSend(1, request.data(), request.size(), reply, sizeof reply), -1);
    EXPECT_EQ(errno, EBADF);
    unsigned char other[16] = {0x43};
    EXPECT_EQ(MsgSend(SYSMGR_COID, other, sizeof other, reply, sizeof reply), -1);
    EXPECT_EQ(errno, ENOSYS);
    EXPECT_EQ(MsgSend(SYSMGR_COID, request.data(), request.size(), reply, 39), -1);
}
