#pragma once

// The floor the serial engine is measured against: one thread that speaks
// the board's protocol and does nothing else. Each frame or request byte is
// one blocking write, each answer one blocking read (more only when the line
// hands it over in pieces): the two system calls and the one wake-up per
// block that the protocol itself needs. The frames, their order and the
// 5 ms pause before a write's first data frame are the engine's.

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "programmer/UniqueFd.h"

class CFloorClient {
public:
    static constexpr int kFrameSize = 18;
    static constexpr int kBlockSize = 16;

    explicit CFloorClient(const std::string& path)
        : m_port(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        termios tio {};
        if (!m_port.IsValid() || ::tcgetattr(m_port.Get(), &tio) != 0) {
            m_port.Reset();
            return;
        }
        ::cfmakeraw(&tio);
        // A read returns as soon as a byte is there, or after 5 s without
        // one: a hang guard that costs no system call.
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 50;
        ::tcsetattr(m_port.Get(), TCSANOW, &tio);
        ::tcflush(m_port.Get(), TCIOFLUSH);
    }

    bool IsOpen() const { return m_port.IsValid(); }

    // A command frame and its answer, which must be of the command's kind.
    bool Command(std::uint8_t command, std::uint8_t code)
    {
        m_frame[0] = command;
        m_frame[1] = code;
        return Exchange(m_frame, kFrameSize, kFrameSize) && m_reply[0] == command;
    }

    // Command 3, a data frame per block, each acknowledged, and the end frame.
    bool Write(const std::uint8_t* image, int length, std::uint8_t code)
    {
        if (!Command(3, code))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_frame[0] = 7;
        for (int pos = 0; pos < length; pos += kBlockSize) {
            std::memcpy(m_frame + 2, image + pos, kBlockSize);
            if (!Exchange(m_frame, kFrameSize, 1) || m_reply[0] != 1)
                return false;
        }
        return Command(0, code);
    }

    // Command 4, a request byte per block answered by its data reply, and
    // the stop byte.
    bool Read(std::uint8_t* image, int length, std::uint8_t code)
    {
        if (!Command(4, code))
            return false;
        const std::uint8_t next = 1;
        for (int pos = 0; pos < length; pos += kBlockSize) {
            if (!Exchange(&next, 1, kFrameSize) || m_reply[0] != 6)
                return false;
            std::memcpy(image + pos, m_reply + 2, kBlockSize);
        }
        const std::uint8_t stop = 0;
        return ::write(m_port.Get(), &stop, 1) == 1;
    }

private:
    bool Exchange(const std::uint8_t* out, int outSize, int inSize)
    {
        if (::write(m_port.Get(), out, std::size_t(outSize)) != outSize)
            return false;
        for (int got = 0; got < inSize;) {
            const ssize_t n = ::read(m_port.Get(), m_reply + got, std::size_t(inSize - got));
            if (n <= 0)
                return false;
            got += int(n);
        }
        return true;
    }

    CUniqueFd m_port;
    std::uint8_t m_frame[kFrameSize] = {};
    std::uint8_t m_reply[kFrameSize] = {};
};
