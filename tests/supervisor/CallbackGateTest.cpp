#include "CallbackGate.h"
#include "RadioFlashMonitor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

namespace {

TEST(CallbackGateTest, ClosedGateAdmitsNoPass)
{
    auto gate = std::make_shared<CallbackGate>();
    {
        const CallbackGate::Pass open(gate);
        EXPECT_TRUE(open);
    }
    gate->Close();
    const CallbackGate::Pass refused(gate);
    EXPECT_FALSE(refused);
    EXPECT_TRUE(gate->IsClosed());
}

TEST(CallbackGateTest, CloseReturnsOnlyOnceEveryAdmittedPassIsReleased)
{
    auto gate = std::make_shared<CallbackGate>();
    auto held = std::make_unique<CallbackGate::Pass>(gate);
    ASSERT_TRUE(*held);
    auto closing = std::async(std::launch::async, [gate] { gate->Close(); });
    // Refused once closing has begun, while the first pass is still held.
    while (!gate->IsClosed()) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(CallbackGate::Pass(gate));
    EXPECT_EQ(std::future_status::timeout, closing.wait_for(std::chrono::milliseconds(100)));
    held.reset();
    EXPECT_EQ(std::future_status::ready, closing.wait_for(std::chrono::seconds(30)));
}

TEST(CallbackGateTest, PassKeepsItsGateAlive)
{
    auto gate = std::make_shared<CallbackGate>();
    const std::weak_ptr<CallbackGate> watched = gate;
    {
        const CallbackGate::Pass pass(gate);
        gate.reset();
        EXPECT_FALSE(watched.expired());
    }
    EXPECT_TRUE(watched.expired());
}

// The owner may close the gate from inside one of its own callbacks: its own
// pass is not waited for, another thread's still is.
TEST(CallbackGateTest, CloseInsideAPassWaitsOnlyForOtherThreadsPasses)
{
    auto gate = std::make_shared<CallbackGate>();
    auto held = std::make_unique<CallbackGate::Pass>(gate);
    auto closing = std::async(std::launch::async, [gate] {
        const CallbackGate::Pass own(gate);
        gate->Close();
    });
    EXPECT_EQ(std::future_status::timeout, closing.wait_for(std::chrono::milliseconds(100)));
    held.reset();
    EXPECT_EQ(std::future_status::ready, closing.wait_for(std::chrono::seconds(30)));
}

TEST(MarkerRuleTest, SuccessFirstBySubstringAndCaseSensitive)
{
    EXPECT_EQ(RadioFlashMonitor::SuccessBit, RadioFlashMonitor::MarkerBits(L"/ramdisk/wifi.started"));
    EXPECT_EQ(RadioFlashMonitor::FailureBit, RadioFlashMonitor::MarkerBits(L"/ramdisk/wifiupgrade.failed"));
    EXPECT_EQ(RadioFlashMonitor::SuccessBit, RadioFlashMonitor::MarkerBits(L"/ramdisk/wifi.started.old"));
    EXPECT_EQ(RadioFlashMonitor::SuccessBit,
              RadioFlashMonitor::MarkerBits(L"/ramdisk/wifiupgrade.failed-wifi.started"));
    EXPECT_EQ(0u, RadioFlashMonitor::MarkerBits(L"/ramdisk/WIFI.STARTED"));
    EXPECT_EQ(0u, RadioFlashMonitor::MarkerBits(L"/ramdisk/Wifiupgrade.Failed"));
    EXPECT_EQ(0u, RadioFlashMonitor::MarkerBits(L"/ramdisk/wifi.start"));
}

} // namespace
