#pragma once

#include <memory>
#include <string>

#include "isp/CableDescription.h"
#include "isp/IspLines.h"
#include "isp/ParallelPort.h"
#include "isp/SteadyIspClock.h"

// The lines of a parallel-port ISP cable (types 1 to 3): each line sits on a
// connector pin given by the cable description, and every change is followed
// by the latch work that the latch mode asks for. Type 1 reads its
// description from "Quenby.ini" in the program's ini folder.
class CParallelCableLines : public CParallelPort, public IIspLines {
public:
    CParallelCableLines(IMessageSink& messages, int cableType, int latchMode);

    bool IsOpen() const override { return CParallelPort::IsOpen(); }
    std::string Describe() const override { return "the parallel port"; }
    std::string LastError() const override { return CParallelPort::LastError(); }
    PortOpenFailure OpenFailure() const override { return {DevicePath(), LastOpenErrno()}; }

    // Loads the cable description and enables the latch: the first write to
    // the port.
    void Prepare() override;

    // Drive the line's pin, then work the latch.
    void SetMosi(int level) override;
    void SetRst(int level) override;
    void SetSck(int level) override;
    // Works the latch, then samples the MISO pin.
    int ReadMiso() override;
    // OE to its enable or disable level (cables without OE: nothing).
    void EnableOutputs(bool on) override;
    // On the port's clock: the system's, or a simulated cable's.
    void Wait(std::chrono::nanoseconds duration) override;

    int CableType() const { return m_nCableType; }
    int LatchMode() const { return m_nLatchMode; }
    const CableDescription& Cable() const { return m_Cable; }

private:
    void WorkLatch();

    const int m_nCableType;
    const int m_nLatchMode;
    CableDescription m_Cable;
    CSteadyIspClock m_steadyClock;
};
