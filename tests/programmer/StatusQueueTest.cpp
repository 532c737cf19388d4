#include <gtest/gtest.h>

#include <thread>

#include "programmer/StatusQueue.h"

namespace {

using namespace std::chrono_literals;

TEST(StatusQueue, DeliversEveryEventFromManyThreadsInEachThreadsOrder)
{
    CStatusQueue queue;
    EXPECT_FALSE(queue.Wait(0ms).has_value());
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::vector<std::jthread> producers;
    for (int t = 0; t < kThreads; ++t)
        producers.emplace_back([&queue, t] {
            for (int i = 0; i < kPerThread; ++i) {
                // Odd threads interleave both kinds of event.
                if (t % 2 && i % 2)
                    queue.SelectDeviceEntry(t * kPerThread + i);
                else
                    queue.PostStatus(t * kPerThread + i);
            }
        });

    std::vector<int> next(kThreads, 0);
    for (int n = 0; n < kThreads * kPerThread; ++n) {
        const auto event = queue.Wait(20s);  // hang guard only
        ASSERT_TRUE(event.has_value()) << "after " << n << " events";
        const int thread = event->value / kPerThread;
        const int i = event->value % kPerThread;
        EXPECT_EQ(i, next[thread]++);
        EXPECT_EQ(event->kind == StatusEvent::Kind::SelectDevice, thread % 2 && i % 2);
    }
    EXPECT_FALSE(queue.TryPop().has_value());
    EXPECT_EQ(queue.Size(), 0u);
}

}  // namespace
