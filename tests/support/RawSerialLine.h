#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The host's end of a serial line, in raw mode through plain POSIX calls:
// for tests that speak a protocol byte by byte to a simulated device.
class CRawSerialLine {
public:
    using Bytes = std::vector<std::uint8_t>;

    CRawSerialLine() = default;
    ~CRawSerialLine();
    CRawSerialLine(const CRawSerialLine&) = delete;
    CRawSerialLine& operator=(const CRawSerialLine&) = delete;

    // Opens path read-write in raw mode and drops anything already queued.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    bool Write(const Bytes& bytes);
    bool WriteByte(std::uint8_t byte) { return Write(Bytes {byte}); }
    // Exactly n bytes, or fewer when the line stays silent for 'silence'
    // (a hang guard, not a timing check) or fails.
    Bytes Read(std::size_t n, std::chrono::milliseconds silence = std::chrono::seconds(5));
    // Whatever arrives until the line has been silent for 'silence'.
    Bytes Drain(std::chrono::milliseconds silence);
    // True when the far end has gone: a read reports hang-up or an error.
    bool WaitForHangUp(std::chrono::milliseconds guard = std::chrono::seconds(5));

private:
    int m_fd = -1;
};
