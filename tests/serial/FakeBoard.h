#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A scripted programmer board on the master end of a pseudo-terminal; the
// host opens SlavePath(). Answers command frames, acknowledges data frames,
// serves read requests from its memory, and logs every frame and request
// byte it got. Before Start() it is a bare line the test writes into.
class CFakeBoard {
public:
    using Bytes = std::vector<std::uint8_t>;
    struct Script {
        std::array<std::uint8_t, 3> signature{0x1E, 0x51, 0x06};
        bool silent = false;    // command frames go unanswered
        int ack = 1;            // answer to each data frame; -1: none
        int hangUpAfter = -1;   // closes the line on data frame n (from 1)
        int hangUpOn = -1;      // closes the line when command n's frame comes
        // The frame that ends a write is answered this late; -1: never.
        int endAnswerDelayMs = 0;
        // Answers are the frame as it came with the kind in byte 0 (and the
        // signature over bytes 2..4): a board answering in its receive buffer.
        bool answerInFrame = false;
        bool echo = false;      // every byte goes straight back (TX tied to RX)
        int answerDelayMs = 0;  // each acknowledgement and data reply waits this long
        // Sent for attempt (0, or 1 after a repeat request) of read block n;
        // empty: silence. Unset: the block as a data reply.
        std::function<Bytes(int block, int attempt)> readReply;
    };

    CFakeBoard();
    ~CFakeBoard();

    const std::string& SlavePath() const { return m_slavePath; }
    void Start();
    void Edit(const std::function<void(Script&)>& edit);
    void Inject(const Bytes& bytes);
    // Hangs the line up, as an unplugged adapter would (not once started).
    void HangUp();
    // Everything received; waits (hang guard) until there are count.
    std::vector<Bytes> Received(std::size_t count = 0);
    Bytes Memory(std::size_t from, std::size_t size);
    static Bytes Reply(std::uint8_t kind);
    Bytes DataReply(int block);

private:
    void Run();
    void HandleFrame(const Bytes& frame);
    void HandleRequest(std::uint8_t request);
    void Log(Bytes unit);

    int m_master = -1;
    int m_stopFd = -1;
    std::string m_slavePath;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    Script m_script;
    std::vector<Bytes> m_received;
    Bytes m_memory;
    // The board thread's own state.
    bool m_reading = false;
    bool m_writing = false;
    int m_dataFrames = 0;
    int m_block = -1;
    int m_attempt = 0;
};
