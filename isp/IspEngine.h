#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "isp/IspFrameLink.h"
#include "isp/IspLines.h"
#include "programmer/DeviceBackend.h"

class CIspFamily;
class CProgrammer;

// The ISP programming engine: it drives an ISP connection's MOSI, SCK and
// RST lines and samples MISO (through IIspLines, whatever carries them) to
// shift serial programming instructions into the device. Each operation but
// the ready check runs on a worker thread of its own, one at a time, and
// reports through the controller's status events. The kinds of connection
// (parallel-port cables, GPIO lines, FTDI cables) derive from it and supply
// the lines. The family handlers reach the lines only through the frame
// link the engine implements.
//
// Init, CheckReady, the starters and WaitIdle belong to one thread (the
// session's); after Init all line traffic comes from the worker.
class CIspEngine : public IDeviceBackend, public IIspFrameLink {
public:
    // The crystal the chip runs on unless told otherwise.
    static constexpr double kDefaultCrystalHz = 12e6;

    enum Operation { kDetect = 1, kErase = 2, kWrite = 3, kRead = 4, kLock = 5 };

    // How a write and a read move the bytes. Polled: the parallel cables'
    // algorithm, each byte written then read back until it verifies, each
    // byte read with its own instruction. Streamed: for lines that keep
    // time themselves (GPIO, FTDI, SPI), bytes written back to back with
    // the write cycle held by the clock, 0xFF bytes left to the erase, the
    // image verified afterwards and reads in page mode; page-mode writes
    // when the settings ask for them.
    enum class Algorithm { kPolled, kStreamed };

    explicit CIspEngine(Algorithm algorithm = Algorithm::kPolled);
    ~CIspEngine() override;

    CIspEngine(const CIspEngine&) = delete;
    CIspEngine& operator=(const CIspEngine&) = delete;

    // Takes the lines (opened or not), posts 4 (ready) or 1 (failed) through
    // the controller, prepares the lines and attaches the family handlers.
    // Returns 1 when the lines can be driven. Call once.
    int Init(CProgrammer* controller, std::unique_ptr<IIspLines> lines);

    // The first handler serving code; it becomes the current one. nullptr
    // (current handler unchanged) when none does.
    CIspFamily* FindFamily(std::uint8_t code);

    // 5 when the lines work and code has a handler, else 6.
    void CheckReady(std::uint8_t code) override;
    // Start an operation on the worker. Refused with 6 while an operation
    // runs (from the moment a start is accepted) or when the lines are not
    // usable (never opened, or broken since), and with 18 when no handler
    // serves code.
    void DetectDevice(std::uint8_t code) override;
    void EraseDevice(std::uint8_t code) override;
    void WriteDevice(std::uint8_t code) override;
    void ReadDevice(std::uint8_t code) override;
    void LockDevice(std::uint8_t code, int level) override;
    // The lines' failed open (see IIspLines::OpenFailure).
    PortOpenFailure OpenFailure() const override;
    std::string TakeFailureNote() override;

    // Reset pulses and programming enables tried after the first one before
    // a chip that does not answer fails the operation.
    static constexpr int kEnableRetries = 3;

    // Waits until the last worker has ended, the release of the outputs
    // included.
    void WaitIdle();

    // The frame link, as the family handlers use it.
    void SetMosi(int level) override;
    void SetRst(int level) override;
    void SetSck(int level) override;
    // Shifts count bytes of the transmit frame out, most significant bit
    // first, and fills as many receive bytes, as one Shift of the lines: no
    // delays but the lines' own, so their speed sets the clock.
    void Transfer(int count) override;
    Frame& TxFrame() override { return m_TxFrame; }
    const Frame& RxFrame() const override { return m_RxFrame; }
    void Exchange(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx) override;
    void Wait(std::chrono::nanoseconds duration) override;
    void HoldNextFrameEnd(std::chrono::nanoseconds duration) override;
    double CrystalHz() const override { return m_dCrystalHz; }

    // 0 when MISO is low.
    int ReadMiso();

    bool IsBusy() const { return m_bBusy.load() != 0; }
    bool IsPortReady() const { return m_bPortReady.load() != 0; }
    CIspFamily* CurrentFamily() const { return m_pCurFamily.load(); }
    // The lines, once Init has run (nullptr before).
    IIspLines* Lines() const { return m_pLines.get(); }
    // The lines' failure text (see IIspLines::LastError); empty before Init.
    std::string LinesError() const;
    std::string LinesName() const;

private:
    // What the family handlers are given as their link: a member of its own
    // whose calls reach the engine without its dispatch table. The
    // destructors of the engine and of the kinds built on it rewrite that
    // table while the worker may still be finishing a frame.
    class CLink final : public IIspFrameLink {
    public:
        explicit CLink(CIspEngine& engine) : m_engine(engine) {}
        void SetMosi(int level) override { m_engine.CIspEngine::SetMosi(level); }
        void SetRst(int level) override { m_engine.CIspEngine::SetRst(level); }
        void SetSck(int level) override { m_engine.CIspEngine::SetSck(level); }
        Frame& TxFrame() override { return m_engine.m_TxFrame; }
        const Frame& RxFrame() const override { return m_engine.m_RxFrame; }
        void Transfer(int count) override { m_engine.CIspEngine::Transfer(count); }
        void Exchange(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx) override
        {
            m_engine.CIspEngine::Exchange(tx, rx);
        }
        void Wait(std::chrono::nanoseconds duration) override
        {
            m_engine.CIspEngine::Wait(duration);
        }
        void HoldNextFrameEnd(std::chrono::nanoseconds duration) override
        {
            m_engine.CIspEngine::HoldNextFrameEnd(duration);
        }
        double CrystalHz() const override { return m_engine.m_dCrystalHz; }

    private:
        CIspEngine& m_engine;
    };
    CLink m_link{*this};

    void Start(Operation operation, std::uint8_t code, int lockLevel);
    void IspWorker(CIspFamily* family);
    // The operations' bodies; each ends the operation and reports.
    void WritePolled(CIspFamily* family, int length);
    void WriteStreamed(CIspFamily* family, int length);
    void ReadImage(CIspFamily* family, int length, std::uint8_t* out, bool progress);
    // Lets go of the target (IIspLines::ReleaseTarget) once all sent has
    // reached it.
    void ReleaseLines();
    // Marks the operation over: the next start may be accepted.
    void EndOperation();
    // true when the lines can still be driven: opened, and nothing has
    // failed on them since (a cable pulled out mid-operation).
    bool LinesWork() const;
    // An operation's outcome: code, or 6 when the lines broke during it, so
    // that made-up data never passes for a success.
    void Complete(int code);
    // Programming mode with the chip's answer checked, retried with fresh
    // reset pulses; false when the chip never answered.
    bool EnableProgramming(CIspFamily* family);
    // Ends an operation the chip failed (7 and note), or the lines (6).
    void Fail(CIspFamily* family, const std::string& note);
    void Ended(CIspFamily* family, int code);
    void Post(int code);

    int m_nLockLevel = 0;  // written by an accepted start before its worker runs
    std::atomic<CIspFamily*> m_pCurFamily{nullptr};
    std::vector<std::unique_ptr<CIspFamily>> m_Families;
    int m_nOperation = 0;  // as m_nLockLevel
    Frame m_TxFrame{};
    Frame m_RxFrame{};
    double m_dCrystalHz = kDefaultCrystalHz;  // as Init found it set
    bool m_bPageWrite = false;
    const Algorithm m_algorithm;
    std::atomic<int> m_bBusy{0};
    std::atomic<int> m_bPortReady{0};
    CProgrammer* m_pProgrammer = nullptr;
    std::unique_ptr<IIspLines> m_pLines;
    // Written by the worker before it posts a failure, taken by the thread
    // that handles it.
    std::mutex m_noteMutex;
    std::string m_strNote;

    // Set by the starter that accepts an operation and cleared by its worker
    // when the operation is over: a second start is refused even before the
    // worker has raised m_bBusy.
    std::atomic<bool> m_bClaimed{false};
    // Set when the backend goes: a running operation ends at the next byte.
    std::atomic<bool> m_bStop{false};
    std::thread m_worker;
};
