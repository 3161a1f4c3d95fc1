#include <gtest/gtest.h>

#include <thread>

#include "base/Sync.hpp"

namespace lumivox {
namespace {

using namespace std::chrono_literals;

TEST(Sync, AutoResetEventLetsOneWaiterThroughManualResetStays) {
    Event autoReset(false);
    autoReset.set();
    EXPECT_TRUE(autoReset.waitFor(0ms));
    EXPECT_FALSE(autoReset.waitFor(10ms));

    Event manual(true);
    EXPECT_FALSE(manual.waitFor(10ms));
    manual.set();
    EXPECT_TRUE(manual.waitFor(0ms));
    EXPECT_TRUE(manual.waitFor(0ms));
    manual.reset();
    EXPECT_FALSE(manual.isSet());
}

TEST(Sync, QueueHandsMessagesAcrossThreadsInOrder) {
    MessageQueue<int> queue;
    std::thread producer([&] {
        for (int i = 0; i < 1000; ++i) queue.post(i);
    });
    for (int i = 0; i < 1000; ++i) {
        auto message = queue.take(2000ms);
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(*message, i);
    }
    producer.join();
    EXPECT_FALSE(queue.take(5ms).has_value());
}

}  // namespace
}  // namespace lumivox
