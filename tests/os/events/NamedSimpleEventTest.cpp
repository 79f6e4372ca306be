#include "NamedSimpleEvent.h"
#include "BlockedThread.h"
#include "EventFactory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <semaphore.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// Each test gets a semaphore name of its own, removed again afterwards, so
// parallel test processes never share one.
class NamedSimpleEventTest : public ::testing::Test
{
protected:
    void TearDown() override { sem_unlink(("/" + name).c_str()); }

    std::string name = "upgrade-os-test-" + std::to_string(getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
};

} // namespace

TEST_F(NamedSimpleEventTest, NameGetsALeadingSlashAndStartsAtTheGivenCount)
{
    NamedSimpleEvent event(name, 2);
    ASSERT_TRUE(event.IsOpen());
    EXPECT_EQ(event.GetName(), "/" + name);
    EXPECT_TRUE(event.Wait(0u));
    EXPECT_TRUE(event.Wait(0u));
    EXPECT_FALSE(event.Wait(0u));
}

TEST_F(NamedSimpleEventTest, ResetDrainsTheCountToZero)
{
    NamedSimpleEvent event(name);
    event.Signal();
    event.Signal();
    event.Signal();
    event.Reset();
    EXPECT_FALSE(event.Wait(0u));
    event.Signal();
    EXPECT_TRUE(event.Wait());
}

TEST_F(NamedSimpleEventTest, TimedWaitGivesUpNoEarlierThan101Ms)
{
    NamedSimpleEvent event(name);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.Wait(100u));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(101));
    EXPECT_LT(elapsed, std::chrono::seconds(10));
}

TEST_F(NamedSimpleEventTest, TwoObjectsOfOneNameShareTheCount)
{
    NamedSimpleEvent first(name);
    NamedSimpleEvent second(name, 5); // already exists: the count stays
    EXPECT_FALSE(second.Wait(0u));
    const pid_t waiter = blocked_thread::OwnId();
    std::thread poster([&] {
        // Posted once the wait below blocks on the semaphore.
        blocked_thread::EventuallyIn(waiter, {SYS_futex});
        first.Signal();
    });
    EXPECT_TRUE(second.Wait(0xFFFFFFFFu));
    poster.join();
}

TEST_F(NamedSimpleEventTest, UnopenableSemaphoreFailsEveryWait)
{
    NamedSimpleEvent event("no/such/dir"); // a slash inside the name is refused
    EXPECT_FALSE(event.IsOpen());
    EXPECT_FALSE(event.Wait());
    EXPECT_FALSE(event.Wait(10u));
    event.Signal();
    event.Reset();
}

TEST(EventFactoryNamed, KnowsOnlyTheThreeNamedEvents)
{
    for (int value : {0, 1, 2, 6, -1, 100}) {
        EXPECT_EQ(EventFactory::GetSharedOSSimpleEvent(static_cast<OSEventName>(value)), nullptr) << value;
    }
    for (auto known :
         {OSEventName::FileTransferStatus, OSEventName::FileTransferStatusAck, OSEventName::CryptoKeyCreation}) {
        auto event = EventFactory::GetSharedOSSimpleEvent(known);
        ASSERT_NE(event, nullptr);
        auto* named = dynamic_cast<NamedSimpleEvent*>(event.get());
        ASSERT_NE(named, nullptr);
        EXPECT_TRUE(named->IsOpen());
    }
    EXPECT_EQ(dynamic_cast<NamedSimpleEvent&>(*EventFactory::GetSharedOSSimpleEvent(OSEventName::FileTransferStatusAck))
                  .GetName(),
              "/FileTransferStatusACK");
    for (const char* name : {"/FileTransferStatus", "/FileTransferStatusACK", "/CryptoKeyCreation"}) {
        sem_unlink(name);
    }
}
