#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "programmer/DeviceBackend.h"

// Why lines did not open: the command line's text (the device, the
// system's reason and the fix) and the parts of the log line.
struct LinesOpenFailure {
    std::string text;
    PortOpenFailure port;
};

// The four programming lines of one ISP connection (MOSI, MISO, SCK, RST)
// as the engine drives them: a parallel-port cable, GPIO lines, an FTDI chip
// in bit-bang mode. Each setter drives its line at once; ReadMiso samples
// the line now.
//
// The engine moves whole frames through Shift. By default Shift toggles the
// lines bit by bit through the setters (the parallel port); a layer that
// can move bytes itself (an SPI controller, an FTDI chip streaming many
// frames per USB transfer) overrides it. Likewise Wait: by default the
// thread sleeps; a layer may let the time pass its own way (idle clock
// cycles in a stream, a model's clock).
//
// A frame (BeginFrame .. EndFrame) may be batched: line changes inside it
// may be held back and sent together, and SampleMiso then fills its bit no
// later than EndFrame. Outside a frame every change reaches the pins before
// the call returns, so waits between changes keep their meaning. Bytes a
// Shift was given without a place for their reply may be held back too,
// until Flush or anything that needs an answer or a change now.
//
// Used by one thread at a time: the backend's opener, then its worker.
class IIspLines {
public:
    virtual ~IIspLines() = default;

    // true when the lines can be driven; false after a failed open.
    virtual bool IsOpen() const = 0;
    // What the lines are, for messages: "the parallel port", "GPIO chip
    // gpiochip0".
    virtual std::string Describe() const = 0;
    // Why opening failed, or why the lines stopped working: the device, the
    // system's reason and, where there is one, the fix. Empty when all is well.
    virtual std::string LastError() const = 0;
    // Why the open failed, for the log line after "初始化并口失败.": the
    // device and the errno value; error 0 when it opened.
    virtual PortOpenFailure OpenFailure() const { return {}; }
    // true once a change or a sample could not reach the device (a cable
    // unplugged mid-operation); what was read since is made up. Safe to ask
    // from any thread.
    virtual bool Failed() const { return false; }

    // Called once after the open has been reported, whether it worked or
    // not: brings the lines to their idle state.
    virtual void Prepare() {}

    virtual void SetMosi(int level) = 0;
    virtual void SetRst(int level) = 0;
    virtual void SetSck(int level) = 0;
    // 0 when MISO is low.
    virtual int ReadMiso() = 0;
    // A buffered cable's outputs, or MOSI and SCK where they can be made
    // inputs (GPIO lines, an FTDI chip): on when an operation starts,
    // released when it ends. Cables that can do neither ignore it.
    virtual void EnableOutputs(bool on) { (void)on; }
    // After every operation, however it ended (a failed write leaves a
    // buffered cable's outputs enabled): lines that would hold the target,
    // now running, are let go.
    virtual void ReleaseTarget() {}

    virtual void BeginFrame() {}
    // MISO as ReadMiso would see it now, into mask's bit of byte.
    virtual void SampleMiso(std::uint8_t& byte, std::uint8_t mask)
    {
        if (ReadMiso())
            byte = std::uint8_t(byte | mask);
        else
            byte = std::uint8_t(byte & ~mask);
    }
    virtual void EndFrame() {}

    // Shifts tx out on MOSI, most significant bit first, sampling MISO into
    // rx (when not empty it is tx's size; the bytes are there on return).
    // The default is the parallel cable's algorithm, one frame: per byte
    // SCK low, then per bit MOSI, SCK high, the sample, SCK low.
    virtual void Shift(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx);
    // At least duration passes at the chip before anything given later
    // reaches it. The default sleeps.
    virtual void Wait(std::chrono::nanoseconds duration);
    // At least duration passes at the chip before the last bit of the next
    // Shift reaches it (see IIspFrameLink). The default waits it all out
    // now.
    virtual void HoldNextFrameEnd(std::chrono::nanoseconds duration) { Wait(duration); }
    // Everything held back reaches the chip before it returns.
    virtual void Flush() {}
};
