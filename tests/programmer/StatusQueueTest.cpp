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

namespace {

using namespace std::chrono_literals;

// Posts, in order: a code, or kTake to take one event at that point.
constexpr int kTake = -1;
constexpr int kSelect = 100;  // a device-list selection

struct CoalesceCase {
    const char* name;
    std::vector<int> steps;
    std::vector<int> taken;  // everything taken, in order
};

class StatusQueueCoalescing : public ::testing::TestWithParam<CoalesceCase> {};

// Progress reports fold into one while one waits to be taken or the last
// went out less than the interval ago; every other event comes through in
// order, after any progress posted before it.
TEST_P(StatusQueueCoalescing, FoldsProgressButNeverAnythingElse)
{
    CStatusQueue queue(CStatusQueue::Progress::Coalesced);
    std::vector<int> taken;
    auto take = [&] {
        const auto event = queue.Wait(2s);  // hang guard; a held report is due in 16 ms
        ASSERT_TRUE(event.has_value());
        taken.push_back(event->kind == StatusEvent::Kind::SelectDevice ? kSelect : event->value);
    };
    for (const int step : GetParam().steps) {
        if (step == kTake)
            take();
        else if (step == kSelect)
            queue.SelectDeviceEntry(0);
        else
            queue.PostStatus(step);
    }
    while (queue.Size() > 0)
        take();
    EXPECT_EQ(taken, GetParam().taken);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, StatusQueueCoalescing,
    ::testing::Values(
        CoalesceCase{"QueuedProgressAbsorbsTheRest", {11, 11, 11, 11, 12, 5}, {11, 12, 5}},
        CoalesceCase{"EarlyProgressIsHeldUntilTheEnd", {11, kTake, 11, 11, 13}, {11, 11, 13}},
        CoalesceCase{"HeldProgressComesWhenDue", {15, kTake, 15}, {15, 15}},
        CoalesceCase{"OtherEventsKeepTheirPlace",
                     {14, 15, 15, kSelect, 15, 7, 9},
                     {14, 15, kSelect, 7, 9}}),
    [](const auto& info) { return std::string(info.param.name); });

// A report held back goes out no sooner than the interval after the last.
TEST(StatusQueueCoalescingTime, HeldProgressWaitsForTheInterval)
{
    CStatusQueue queue(CStatusQueue::Progress::Coalesced);
    const auto start = std::chrono::steady_clock::now();
    queue.PostStatus(11);
    ASSERT_TRUE(queue.TryPop().has_value());
    queue.PostStatus(11);
    EXPECT_FALSE(queue.TryPop().has_value());
    EXPECT_EQ(queue.Size(), 1u);
    const auto event = queue.Wait(2s);
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->value, 11);
    EXPECT_GE(std::chrono::steady_clock::now() - start, CStatusQueue::kProgressInterval);
}

}  // namespace
