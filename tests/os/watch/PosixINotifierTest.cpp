#include "PosixINotifier.h"

#include "BlockedThread.h"
#include "EmulationLimits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

namespace {

// Appends one event as the kernel lays it out: header, then the name padded
// with zeros to `len` bytes.
void Append(std::vector<unsigned char>& bytes, int wd, std::uint32_t mask, const std::string& name, std::uint32_t len)
{
    inotify_event header{};
    header.wd = wd;
    header.mask = mask;
    header.len = len;
    const auto* raw = reinterpret_cast<const unsigned char*>(&header);
    bytes.insert(bytes.end(), raw, raw + sizeof header);
    std::vector<unsigned char> padded(len, 0);
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), len), padded.begin());
    bytes.insert(bytes.end(), padded.begin(), padded.end());
}

} // namespace

TEST(PosixINotifierBuffer, HandsOutEventsOneAtATimeInOrder)
{
    std::vector<unsigned char> bytes;
    Append(bytes, 1, IN_CREATE, "first", 16);
    Append(bytes, 2, IN_MOVED_TO, "second", 32);
    Append(bytes, 1, IN_IGNORED, "", 0);
    std::size_t offset = 0;
    const inotify_event* a = PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->name, "first");
    EXPECT_EQ(offset, 32u);
    const inotify_event* b = PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->wd, 2);
    EXPECT_STREQ(b->name, "second");
    const inotify_event* c = PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->len, 0u);
    EXPECT_EQ(offset, bytes.size());
    EXPECT_EQ(PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset), nullptr);
}

TEST(PosixINotifierBuffer, IncompleteHeaderOrNameYieldsNothingAndKeepsTheOffset)
{
    std::vector<unsigned char> bytes;
    Append(bytes, 1, IN_CREATE, "name", 16);
    std::size_t offset = 0;
    EXPECT_EQ(PosixINotifier::NextInBuffer(bytes.data(), 15, offset), nullptr);
    EXPECT_EQ(PosixINotifier::NextInBuffer(bytes.data(), 31, offset), nullptr) << "name runs past the bytes";
    EXPECT_EQ(offset, 0u);

    std::vector<unsigned char> huge;
    Append(huge, 1, IN_CREATE, "x", 16);
    inotify_event header{};
    std::memcpy(&header, huge.data(), sizeof header);
    header.len = 0xFFFFFFF0u; // must not wrap the bounds check
    std::memcpy(huge.data(), &header, sizeof header);
    EXPECT_EQ(PosixINotifier::NextInBuffer(huge.data(), huge.size(), offset), nullptr);
}

TEST(PosixINotifierDescriptor, InterruptEndsABlockedReceiveAndEveryLaterOne)
{
    if (const std::string why = EmulationLimits::WhySystemCallsUnreadable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    PosixINotifier notifier;
    ASSERT_TRUE(notifier.Init());
    const inotify_event* got = reinterpret_cast<const inotify_event*>(1);
    std::promise<pid_t> receiverId;
    std::thread receiver([&] {
        receiverId.set_value(blocked_thread::OwnId());
        got = notifier.ReceiveEvent();
    });
    EXPECT_TRUE(blocked_thread::EventuallyIn(receiverId.get_future().get(), blocked_thread::PollCalls()))
        << "the receive blocks in its poll";
    notifier.Interrupt();
    receiver.join();
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(notifier.ReceiveEvent(), nullptr);
}

TEST(PosixINotifierDescriptor, PrimaryWatchIsValidOnlyForAnExistingDirectory)
{
    PosixINotifier notifier;
    EXPECT_FALSE(notifier.SetPrimaryWatch("/tmp", IN_CREATE)) << "not initialised";
    ASSERT_TRUE(notifier.Init());
    EXPECT_FALSE(notifier.SetPrimaryWatch("/nonexistent-dir-for-test", IN_CREATE));
    EXPECT_FALSE(notifier.IsPrimaryWatchValid());
    EXPECT_TRUE(notifier.SetPrimaryWatch("/tmp", IN_CREATE));
    EXPECT_TRUE(notifier.IsPrimaryWatchValid());
    notifier.RemovePrimaryWatch();
    EXPECT_FALSE(notifier.IsPrimaryWatchValid());
    EXPECT_EQ(notifier.AddSecondaryWatch("/nonexistent-dir-for-test", IN_CREATE), -1);
}
