#pragma once

#include <cstdint>
#include <string>

// The error a backend reports when its serial device has no UART behind it
// (a /dev/ttyS node for a port the machine does not have).
constexpr int kErrorNoUart = -1;
// The port is no terminal at all (a regular file, a FIFO, /dev/null): no
// byte is ever written into it.
constexpr int kErrorNotSerial = -2;
// The line sends back what it is sent (TX tied to RX, a modem in echo mode):
// no board answers on it.
constexpr int kErrorEchoLine = -3;

// Why a backend's port did not open: the device path and the errno value
// (or one of the kError codes above). error 0: it opened, or there is nothing to tell.
struct PortOpenFailure {
    std::string path;
    int error = 0;
    // Lines that are not the parallel port's (GPIO, FTDI) name their kind
    // and bring their own fix; empty: the port's usual ones.
    std::string kind{};
    std::string fix{};
};

// The six device operations every backend offers, each taking the current
// device's code. They return at once; outcomes arrive as status events.
class IDeviceBackend {
public:
    virtual ~IDeviceBackend() = default;
    virtual void CheckReady(std::uint8_t code) = 0;
    virtual void DetectDevice(std::uint8_t code) = 0;
    virtual void EraseDevice(std::uint8_t code) = 0;
    virtual void WriteDevice(std::uint8_t code) = 0;
    virtual void ReadDevice(std::uint8_t code) = 0;
    virtual void LockDevice(std::uint8_t code, int level) = 0;

    // Read on the thread that opened the port, after its failure was posted.
    virtual PortOpenFailure OpenFailure() const { return {}; }
    // A line of the backend's own that says why the operation it last
    // reported as failed went wrong (the chip did not answer, the lock did
    // not take), for the log after the status line; empty when there is
    // none. Taken once: the next call returns empty. Called on the thread
    // that handles the status events, after the failure was posted.
    virtual std::string TakeFailureNote() { return {}; }
};
