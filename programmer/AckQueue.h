#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

// The write acknowledgements on their way from the channel's thread to the
// write worker, and the one block the worker has ready for the board.
//
// The board waits for the next data frame after every acknowledgement, so
// the channel's thread sends the armed block itself the moment a good one
// comes in, instead of first waking the worker to do it. Each queued entry
// says whether that happened, so the worker sends the block only when the
// channel's thread did not. The worker takes the entries one by one: an
// acknowledgement of the early-sent block may arrive before the worker has
// taken the one that let it go.
class CAckQueue {
public:
    struct Ack {
        std::uint8_t value = 0;
        // The armed block went out on this acknowledgement.
        bool nextSent = false;
    };

    // Channel's thread: the armed block, now owed to the board, or nullptr.
    // The caller sends it, then pushes the acknowledgement with nextSent.
    const std::uint8_t* TakeArmed();
    void Push(Ack ack);
    // Worker: the oldest acknowledgement within timeout, or none. While
    // none is queued, next (nullptr: none) is armed to go out on the next
    // good one; what is still armed when this returns is dropped, since the
    // worker decides anew.
    std::optional<Ack> WaitFor(std::chrono::milliseconds timeout, const std::uint8_t* next);
    // Drops queued acknowledgements and the armed block.
    void Reset();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Ack> m_acks;
    const std::uint8_t* m_pArmed = nullptr;
};
