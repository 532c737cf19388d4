#include "tests/serial/FakeBoard.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>

namespace {
constexpr std::size_t kFrame = 18;
constexpr int kBlock = 16;
}  // namespace

CFakeBoard::CFakeBoard() : m_stopFd(eventfd(0, EFD_CLOEXEC)), m_memory(0x20000)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (m_master < 0 || grantpt(m_master) || unlockpt(m_master) || ptsname_r(m_master, name, sizeof name))
        throw std::runtime_error("no pseudo-terminal");
    m_slavePath = name;
    for (std::size_t i = 0; i < m_memory.size(); ++i)
        m_memory[i] = std::uint8_t(i * 7 + 3);
}

CFakeBoard::~CFakeBoard()
{
    const std::uint64_t one = 1;
    if (::write(m_stopFd, &one, sizeof one) > 0 && m_thread.joinable())
        m_thread.join();
    HangUp();
    ::close(m_stopFd);
}

void CFakeBoard::Start()
{
    m_thread = std::thread([this] { Run(); });
}

void CFakeBoard::Edit(const std::function<void(Script&)>& edit)
{
    std::lock_guard lock(m_mutex);
    edit(m_script);
}

void CFakeBoard::Inject(const Bytes& bytes)
{
    // A host that has gone makes this fail; the test sees the missing answer.
    if (m_master >= 0 && ::write(m_master, bytes.data(), bytes.size()) < 0) {
    }
}

void CFakeBoard::HangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

std::vector<CFakeBoard::Bytes> CFakeBoard::Received(std::size_t count)
{
    std::unique_lock lock(m_mutex);
    m_cv.wait_for(lock, std::chrono::seconds(10), [&] { return m_received.size() >= count; });
    return m_received;
}

CFakeBoard::Bytes CFakeBoard::Memory(std::size_t from, std::size_t size)
{
    std::lock_guard lock(m_mutex);
    return Bytes(m_memory.begin() + long(from), m_memory.begin() + long(from + size));
}

CFakeBoard::Bytes CFakeBoard::Reply(std::uint8_t kind)
{
    Bytes frame(kFrame, 0);
    frame[0] = kind;
    return frame;
}

CFakeBoard::Bytes CFakeBoard::DataReply(int block)
{
    Bytes frame = Reply(6);
    const Bytes data = Memory(std::size_t(block) * kBlock, kBlock);
    std::copy(data.begin(), data.end(), frame.begin() + 2);
    return frame;
}

void CFakeBoard::Log(Bytes unit)
{
    std::lock_guard lock(m_mutex);
    m_received.push_back(std::move(unit));
    m_cv.notify_all();
}

void CFakeBoard::Run()
{
    Bytes pending;
    while (m_master >= 0) {
        pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {m_master, POLLIN, 0}};
        std::uint8_t buffer[256];
        ssize_t n = 0;
        // Ends on a stop, or when the host closed its end.
        if (::poll(fds, 2, -1) < 0 || fds[0].revents || !(fds[1].revents & POLLIN)
            || (n = ::read(m_master, buffer, sizeof buffer)) <= 0)
            return;
        std::unique_lock lock(m_mutex);
        const bool echo = m_script.echo;
        lock.unlock();
        if (echo) {
            Log(Bytes(buffer, buffer + n));
            Inject(Bytes(buffer, buffer + n));
            continue;
        }
        for (ssize_t i = 0; i < n && m_master >= 0; ++i) {
            // A byte that is no request starts a frame: an empty read sends
            // no request at all.
            const std::uint8_t b = buffer[i];
            if (m_reading && (b == 0 || b == 1 || b == 0xFF)) {
                HandleRequest(b);
                continue;
            }
            m_reading = false;
            pending.push_back(b);
            if (pending.size() == kFrame) {
                HandleFrame(pending);
                pending.clear();
            }
        }
    }
}

void CFakeBoard::HandleFrame(const Bytes& frame)
{
    Log(frame);
    std::unique_lock lock(m_mutex);
    Bytes reply = Reply(frame[0]);
    if (m_script.answerInFrame)
        reply = frame;
    const bool endsWrite = m_writing && frame[0] != 7;
    m_writing = frame[0] == 3 || (m_writing && frame[0] == 7);
    if (frame[0] == m_script.hangUpOn)
        return HangUp();
    if (endsWrite && frame[0] == 0 && m_script.endAnswerDelayMs != 0) {
        if (m_script.endAnswerDelayMs < 0)
            return;
        const auto delay = std::chrono::milliseconds(m_script.endAnswerDelayMs);
        lock.unlock();
        std::this_thread::sleep_for(delay);
        return Inject(reply);
    }
    if (frame[0] == 7) {
        std::copy_n(frame.begin() + 2, kBlock, m_memory.begin() + m_dataFrames++ * kBlock);
        if (m_dataFrames == m_script.hangUpAfter)
            return HangUp();
        if (m_script.ack < 0)
            return;
        reply = {std::uint8_t(m_script.ack)};
        const auto delay = std::chrono::milliseconds(m_script.answerDelayMs);
        lock.unlock();
        std::this_thread::sleep_for(delay);
        return Inject(reply);
    } else if (m_script.silent) {
        return;
    }
    if (frame[0] == 1)
        std::copy(m_script.signature.begin(), m_script.signature.end(), reply.begin() + 2);
    m_dataFrames = frame[0] == 3 ? 0 : m_dataFrames;
    m_reading = frame[0] == 4;
    m_block = -1;
    lock.unlock();
    Inject(reply);
}

void CFakeBoard::HandleRequest(std::uint8_t request)
{
    Log({request});
    if (request == 0) {
        m_reading = false;
        return;
    }
    m_attempt = request == 1 ? 0 : m_attempt + 1;
    m_block += request == 1 ? 1 : 0;
    std::unique_lock lock(m_mutex);
    const auto readReply = m_script.readReply;
    const auto delay = std::chrono::milliseconds(m_script.answerDelayMs);
    lock.unlock();
    std::this_thread::sleep_for(delay);
    Inject(readReply ? readReply(m_block, m_attempt) : DataReply(m_block));
}
