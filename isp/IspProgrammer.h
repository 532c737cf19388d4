#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "isp/CableDescription.h"
#include "isp/ParallelPort.h"
#include "programmer/DeviceBackend.h"

class CIspFamily;
class CProgrammer;
class IMessageSink;

// The backend for the parallel-port ISP cables (programmer types 1 to 3): it
// toggles the cable's MOSI, SCK and RST lines itself and samples MISO to
// shift serial programming instructions into the device. Each operation but
// the ready check runs on a worker thread of its own, one at a time, and
// reports through the controller's status events.
//
// Init, CheckReady, the starters and WaitIdle belong to one thread (the
// session's); after Init all port traffic comes from the worker.
class CIspProgrammer : public CParallelPort, public IDeviceBackend {
public:
    static constexpr int kFrameSize = 10;
    static constexpr int kDefaultBase = 888;

    enum Operation { kDetect = 1, kErase = 2, kWrite = 3, kRead = 4, kLock = 5 };

    explicit CIspProgrammer(IMessageSink& messages);
    ~CIspProgrammer() override;

    // Opens the port at base, posts 4 (ready) or 1 (failed) through the
    // controller, loads the cable description for cableType (type 1 from
    // "Quenby.ini" in the program folder), enables the latch and attaches
    // the family handlers. Returns 1 when the port is usable. Call once.
    int Init(CProgrammer* controller, int basePort, int cableType, int latchMode);
    // The same on a given register set (the simulated cable, tests).
    int InitWith(CProgrammer* controller, std::unique_ptr<IPortRegisters> registers,
                 int cableType, int latchMode);

    // The first handler serving code; it becomes the current one. nullptr
    // (current handler unchanged) when none does.
    CIspFamily* FindFamily(std::uint8_t code);

    // 5 when the port is usable and code has a handler, else 6.
    void CheckReady(std::uint8_t code) override;
    // Start an operation on the worker. Refused with 6 while an operation
    // runs (from the moment a start is accepted) or when the port is not
    // usable, and with 18 when no handler serves code.
    void DetectDevice(std::uint8_t code) override;
    void EraseDevice(std::uint8_t code) override;
    void WriteDevice(std::uint8_t code) override;
    void ReadDevice(std::uint8_t code) override;
    void LockDevice(std::uint8_t code, int level) override;
    PortOpenFailure OpenFailure() const override;

    // Waits until the last worker has ended, the release of the cable's
    // outputs included.
    void WaitIdle();

    // Line primitives: drive the line's pin, then work the latch.
    void SetMosi(int level);
    void SetRst(int level);
    void SetSck(int level);
    // Works the latch, then samples MISO: 0 when low.
    int ReadMiso();

    // Shifts count bytes of the transmit frame out, most significant bit
    // first, and fills as many receive bytes. No delays: the port's speed
    // sets the clock.
    void Transfer(int count);
    std::array<std::uint8_t, kFrameSize>& TxFrame() { return m_TxFrame; }
    const std::array<std::uint8_t, kFrameSize>& RxFrame() const { return m_RxFrame; }

    bool IsBusy() const { return m_bBusy.load() != 0; }
    bool IsPortReady() const { return m_bPortReady.load() != 0; }
    int CableType() const { return m_nCableType; }
    int LatchMode() const { return m_nLatchMode; }
    const CableDescription& Cable() const { return m_Cable; }
    CIspFamily* CurrentFamily() const { return m_pCurFamily.load(); }

private:
    void BeginInit(CProgrammer* controller, int cableType, int latchMode);
    int FinishInit(bool opened);
    void Start(Operation operation, std::uint8_t code, int lockLevel);
    void IspWorker(CIspFamily* family);
    // Marks the operation over: the next start may be accepted.
    void EndOperation();
    void WorkLatch();
    void Post(int code);

    int m_nLatchMode = 0;
    int m_nCableType = 0;
    int m_nLockLevel = 0;  // written by an accepted start before its worker runs
    std::atomic<CIspFamily*> m_pCurFamily{nullptr};
    std::vector<std::unique_ptr<CIspFamily>> m_Families;
    int m_nOperation = 0;  // as m_nLockLevel
    CableDescription m_Cable;
    std::array<std::uint8_t, kFrameSize> m_TxFrame{};
    std::array<std::uint8_t, kFrameSize> m_RxFrame{};
    std::atomic<int> m_bBusy{0};
    std::atomic<int> m_bPortReady{0};
    CProgrammer* m_pProgrammer = nullptr;

    // Set by the starter that accepts an operation and cleared by its worker
    // when the operation is over: a second start is refused even before the
    // worker has raised m_bBusy.
    std::atomic<bool> m_bClaimed{false};
    // Set by the destructor: a running operation ends at the next byte.
    std::atomic<bool> m_bStop{false};
    std::thread m_worker;
};
