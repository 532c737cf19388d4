#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "programmer/AckQueue.h"

using namespace std::chrono_literals;

namespace {

const std::uint8_t kBlockA[16] = {1};
const std::uint8_t kBlockB[16] = {2};

}  // namespace

// The block armed by a waiting worker goes to the first acknowledgement
// that takes it, and only once.
TEST(AckQueue, ArmedBlockIsHandedOutOnceAndDroppedWhenTheWaitEnds)
{
    CAckQueue queue;
    std::thread channel([&] {
        // Wait until the worker has armed its block, as the board would.
        const std::uint8_t* next = nullptr;
        while (!(next = queue.TakeArmed()))
            std::this_thread::yield();
        EXPECT_EQ(next, kBlockA);
        EXPECT_EQ(queue.TakeArmed(), nullptr);
        queue.Push({1, true});
    });
    const auto ack = queue.WaitFor(10s, kBlockA);
    channel.join();
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->value, 1);
    EXPECT_TRUE(ack->nextSent);

    // A wait that times out leaves nothing armed behind for a late answer.
    EXPECT_FALSE(queue.WaitFor(1ms, kBlockB));
    EXPECT_EQ(queue.TakeArmed(), nullptr);
}

// An acknowledgement already queued is the worker's to answer: nothing is
// armed for it, and two that arrive before the worker looks are both seen.
TEST(AckQueue, QueuedAcknowledgementsComeOutInOrderAndNeverArm)
{
    CAckQueue queue;
    queue.Push({1, true});
    queue.Push({0xFF, false});

    auto ack = queue.WaitFor(10s, kBlockA);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->value, 1);
    EXPECT_TRUE(ack->nextSent);
    EXPECT_EQ(queue.TakeArmed(), nullptr);

    ack = queue.WaitFor(10s, kBlockB);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->value, 0xFF);
    EXPECT_FALSE(ack->nextSent);
    EXPECT_EQ(queue.TakeArmed(), nullptr);

    queue.Push({1, false});
    queue.Reset();
    EXPECT_FALSE(queue.WaitFor(1ms, nullptr));
}
