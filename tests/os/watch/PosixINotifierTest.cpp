#include "PosixINotifier.h"

#include "BlockedThread.h"
#include "EmulationLimits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <optional>
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
    const auto a = PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->name, "first");
    EXPECT_EQ(offset, 32u);
    const auto b = PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->wd, 2);
    EXPECT_EQ(b->name, "second");
    const auto c = PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->mask, static_cast<std::uint32_t>(IN_IGNORED));
    EXPECT_TRUE(c->name.empty());
    EXPECT_EQ(offset, bytes.size());
    EXPECT_FALSE(PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset));
}

TEST(PosixINotifierBuffer, IncompleteHeaderOrNameYieldsNothingAndKeepsTheOffset)
{
    std::vector<unsigned char> bytes;
    Append(bytes, 1, IN_CREATE, "name", 16);
    std::size_t offset = 0;
    EXPECT_FALSE(PosixINotifier::NextInBuffer(bytes.data(), 15, offset));
    EXPECT_FALSE(PosixINotifier::NextInBuffer(bytes.data(), 31, offset)) << "name runs past the bytes";
    EXPECT_EQ(offset, 0u);

    std::vector<unsigned char> huge;
    Append(huge, 1, IN_CREATE, "x", 16);
    inotify_event header{};
    std::memcpy(&header, huge.data(), sizeof header);
    header.len = 0xFFFFFFF0u; // must not wrap the bounds check
    std::memcpy(huge.data(), &header, sizeof header);
    EXPECT_FALSE(PosixINotifier::NextInBuffer(huge.data(), huge.size(), offset));
}

TEST(PosixINotifierBuffer, EventAfterAnUnpaddedNameIsReadWhereverItsHeaderLies)
{
    std::vector<unsigned char> bytes;
    Append(bytes, 1, IN_CREATE, "abc", 3); // the next header starts at an odd offset
    Append(bytes, 2, IN_MOVED_TO, "second", 7);
    std::size_t offset = 0;
    ASSERT_TRUE(PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset));
    const auto b = PosixINotifier::NextInBuffer(bytes.data(), bytes.size(), offset);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->wd, 2);
    EXPECT_EQ(b->mask, static_cast<std::uint32_t>(IN_MOVED_TO));
    EXPECT_EQ(b->name, "second");
    EXPECT_EQ(offset, bytes.size());
}

TEST(PosixINotifierDescriptor, InterruptEndsABlockedReceiveAndEveryLaterOne)
{
    if (const std::string why = EmulationLimits::WhySystemCallsUnreadable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    PosixINotifier notifier;
    ASSERT_TRUE(notifier.Init());
    std::optional<PosixINotifier::Event> got = PosixINotifier::Event{};
    std::promise<pid_t> receiverId;
    std::thread receiver([&] {
        receiverId.set_value(blocked_thread::OwnId());
        got = notifier.ReceiveEvent();
    });
    EXPECT_TRUE(blocked_thread::EventuallyIn(receiverId.get_future().get(), blocked_thread::PollCalls()))
        << "the receive blocks in its poll";
    notifier.Interrupt();
    receiver.join();
    EXPECT_FALSE(got);
    EXPECT_FALSE(notifier.ReceiveEvent());
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
