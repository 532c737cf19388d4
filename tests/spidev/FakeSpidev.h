#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A spidev node and the SPI controller behind it, answering open, ioctl and
// close as the kernel's spidev driver and spi_setup do. It stands in for
// the C library's calls at link time (--wrap), so the real wrapper runs
// unchanged; calls on any other file go to the C library.
//
// Defaults are a Raspberry Pi's spi-bcm2835: modes 0 to 3 with CS_HIGH,
// NO_CS and 3WIRE, no least-significant-bit-first, 8-bit words only.
class CFakeSpidev {
public:
    struct Settings {
        std::uint32_t mode = 0;
        std::uint8_t bits = 8;
        std::uint32_t hz = 0;
    };
    // One transfer as it went over the wire: with the settings in force.
    struct Wire {
        std::vector<std::uint8_t> tx;
        Settings settings;
    };

    // The fake in force, fresh for each test (Reset).
    static CFakeSpidev& Get();
    static void Reset();

    std::string path = "/dev/spidev0.0";
    // Opening fails with this errno (ENOENT: SPI off; EACCES: no access).
    int openError = 0;
    // The node is some other character device: every ioctl answers ENOTTY.
    bool isSpidev = true;
    std::uint32_t modeBits = 0x01 | 0x02 | 0x04 | 0x40 | 0x10;
    std::uint32_t maxHz = 125000000;
    std::uint32_t minHz = 0;
    // spidev's bufsiz module parameter: bytes per message, each way.
    std::uint32_t bufsiz = 4096;
    // From now on every message fails with this errno (an unplugged board).
    int messageError = 0;
    // What the last user left: the device keeps its settings across opens.
    Settings device{0x03, 8, 10000000};

    // The other end: fills rx (size of w.tx) from what it received.
    std::function<void(const Wire& w, std::uint8_t* rx)> target;

    // What happened.
    std::vector<Wire> wire;
    std::vector<unsigned long> requests;  // every ioctl request, in order
    int opens = 0;
    int closes = 0;
    int openFlags = 0;

    // Called by the wrapped C calls; -1 and errno as the kernel answers.
    int Open(const char* file, int flags);
    int Ioctl(int fd, unsigned long request, void* arg);
    int Close(int fd);
    static bool Owns(int fd) { return fd == kFd; }

private:
    static constexpr int kFd = 4242;
    int Message(unsigned long request, const void* arg);
    int Setup(const Settings& wanted);
    bool m_bOpen = false;
};
