#include "isp/IspProgrammer.h"

#include <algorithm>
#include <cassert>
#include <system_error>

#include "isp/IspByteModeFamily.h"
#include "platform/AppGlobals.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"

namespace {

// Progress is posted after the bytes with index 0, 15, 30 ...
constexpr int kProgressStep = 15;

}  // namespace

CIspProgrammer::CIspProgrammer(IMessageSink& messages)
    : CParallelPort(messages)
{
    m_Families.push_back(std::make_unique<CIspByteModeFamily>());
}

CIspProgrammer::~CIspProgrammer()
{
    // The worker uses the handlers, the port and the controller's buffers:
    // it must be gone before any of them.
    m_bStop = true;
    WaitIdle();
}

void CIspProgrammer::BeginInit(CProgrammer* controller, int cableType, int latchMode)
{
    assert(controller);
    WaitIdle();
    m_pProgrammer = controller;
    m_nCableType = cableType;
    m_nLatchMode = latchMode;
}

int CIspProgrammer::FinishInit(bool opened)
{
    m_bPortReady = opened ? 1 : 0;
    Post(opened ? kStatusParallelReady : kStatusParallelFailed);
    m_bBusy = 0;
    // The description is loaded even when the port failed, so that the
    // backend is complete either way.
    m_Cable = CableDescription::ForType(m_nCableType, IniFilePath("Quenby.ini"));
    SetPin(m_Cable.m_nPinLe, m_Cable.m_nLeEnable);
    for (auto& family : m_Families)
        family->Attach(this);
    return m_bPortReady;
}

int CIspProgrammer::Init(CProgrammer* controller, int basePort, int cableType, int latchMode)
{
    BeginInit(controller, cableType, latchMode);
    return FinishInit(Open(std::uint16_t(basePort)) != 0);
}

int CIspProgrammer::InitWith(CProgrammer* controller, std::unique_ptr<IPortRegisters> registers,
                             int cableType, int latchMode)
{
    BeginInit(controller, cableType, latchMode);
    return FinishInit(OpenWith(std::move(registers)));
}

CIspFamily* CIspProgrammer::FindFamily(std::uint8_t code)
{
    for (auto& family : m_Families) {
        if (family->m_byDeviceCode == code) {
            m_pCurFamily = family.get();
            return family.get();
        }
    }
    return nullptr;
}

PortOpenFailure CIspProgrammer::OpenFailure() const
{
    return {DevicePath(), LastOpenErrno()};
}

void CIspProgrammer::CheckReady(std::uint8_t code)
{
    const bool ready = m_bPortReady && FindFamily(code);
    Post(ready ? kStatusReady : kStatusUnavailable);
}

void CIspProgrammer::DetectDevice(std::uint8_t code)
{
    Start(kDetect, code, 0);
}

void CIspProgrammer::EraseDevice(std::uint8_t code)
{
    Start(kErase, code, 0);
}

void CIspProgrammer::WriteDevice(std::uint8_t code)
{
    Start(kWrite, code, 0);
}

void CIspProgrammer::ReadDevice(std::uint8_t code)
{
    Start(kRead, code, 0);
}

void CIspProgrammer::LockDevice(std::uint8_t code, int level)
{
    Start(kLock, code, level);
}

void CIspProgrammer::Start(Operation operation, std::uint8_t code, int lockLevel)
{
    // Claimed here rather than by the worker's first step, so that two
    // starts in a row can never both be accepted.
    bool expected = false;
    if (!m_bClaimed.compare_exchange_strong(expected, true)) {
        Post(kStatusUnavailable);
        return;
    }
    CIspFamily* family = FindFamily(code);
    if (!family) {
        m_bClaimed = false;
        Post(kStatusInvalidOperation);
        return;
    }
    // Without a port nothing reaches a device: a read would report made-up
    // data, an erase or lock a success that never happened.
    if (!m_bPortReady) {
        m_bClaimed = false;
        Post(kStatusUnavailable);
        return;
    }
    // A worker that has posted its completion may still be releasing OE;
    // that release must not land after the next operation enabled OE.
    if (m_worker.joinable())
        m_worker.join();
    m_nOperation = operation;
    m_nLockLevel = lockLevel;
    try {
        m_worker = std::thread(&CIspProgrammer::IspWorker, this, family);
    } catch (const std::system_error&) {
        m_bClaimed = false;
        Post(kStatusUnavailable);
    }
}

void CIspProgrammer::WaitIdle()
{
    if (m_worker.joinable())
        m_worker.join();
}

void CIspProgrammer::EndOperation()
{
    m_bBusy = 0;
    m_bClaimed = false;
}

void CIspProgrammer::Post(int code)
{
    if (m_pProgrammer)
        m_pProgrammer->PostStatus(code);
}

void CIspProgrammer::IspWorker(CIspFamily* family)
{
    m_bBusy = 1;
    SetPin(m_Cable.m_nPinOe, m_Cable.m_nOeEnable);
    family->ProgramEnable();

    CProgrammer& programmer = *m_pProgrammer;
    switch (m_nOperation) {
    case kDetect: {
        std::array<std::uint8_t, 3> signature{};
        family->ReadSignature(signature);
        programmer.SetSignature(signature);
        family->EndProgramming();
        EndOperation();
        programmer.MatchSignature();
        break;
    }
    case kErase:
        family->ChipErase();
        family->EndProgramming();
        EndOperation();
        Post(kStatusEraseDone);
        break;
    case kWrite: {
        // The controller keeps the length inside its buffer; the clamp only
        // guards the buffer should that ever change.
        const int trimmed = programmer.TrimLength(programmer.Buffer1, CProgrammer::kBufferSize);
        assert(trimmed >= 0 && trimmed <= CProgrammer::kBufferSize);
        const int length = std::clamp(trimmed, 0, int(CProgrammer::kBufferSize));
        family->ProgramEnable();
        for (int p = 0; p < length; ++p) {
            if (m_bStop)
                break;
            programmer.m_nPos = p;
            if (!family->WriteByte(programmer.Buffer1[p], p)) {
                family->EndProgramming();
                EndOperation();
                Post(kStatusWriteError);
                // The cable's outputs stay enabled after a failed write.
                return;
            }
            if (p % kProgressStep == 0)
                Post(kStatusWriteProgress);
        }
        family->EndProgramming();
        EndOperation();
        // The backend is being destroyed when stopped: nobody is left to
        // act on an outcome.
        if (!m_bStop)
            Post(kStatusWriteDone);
        break;
    }
    case kRead: {
        int length;
        if (!programmer.m_bKeepLength) {
            length = programmer.CurrentRomBytes();
            programmer.m_nLength = length;
        } else {
            // The length of the last write, for a verify.
            length = programmer.m_nLength;
        }
        assert(length >= 0 && length <= CProgrammer::kBufferSize);
        length = std::clamp(length, 0, int(CProgrammer::kBufferSize));
        for (int p = 0; p < length; ++p) {
            if (m_bStop)
                break;
            programmer.m_nPos = p;
            programmer.Buffer2[p] = family->ReadByte(p);
            if (p % kProgressStep == 0)
                Post(kStatusReadProgress);
        }
        family->EndProgramming();
        EndOperation();
        if (!m_bStop)
            Post(kStatusReadDone);
        break;
    }
    case kLock:
        family->WriteLockBits(m_nLockLevel);
        family->EndProgramming();
        EndOperation();
        Post(kStatusLockDone);
        break;
    default:
        EndOperation();
        break;
    }
    SetPin(m_Cable.m_nPinOe, m_Cable.m_nOeDisable);
}

void CIspProgrammer::WorkLatch()
{
    switch (m_nLatchMode) {
    case 2:
        // The cable has no latch to work, or it is transparent.
        return;
    case 1:
        SetPin(m_Cable.m_nPinLe, m_Cable.m_nLeEnable);
        return;
    default:
        // A pulse copies the new line states through the latch.
        SetPin(m_Cable.m_nPinLe, m_Cable.m_nLeEnable);
        SetPin(m_Cable.m_nPinLe, m_Cable.m_nLeDisable);
        return;
    }
}

void CIspProgrammer::SetMosi(int level)
{
    SetPin(m_Cable.m_nPinMosi, level);
    WorkLatch();
}

void CIspProgrammer::SetRst(int level)
{
    SetPin(m_Cable.m_nPinRst, level);
    WorkLatch();
}

void CIspProgrammer::SetSck(int level)
{
    SetPin(m_Cable.m_nPinSck, level);
    WorkLatch();
}

int CIspProgrammer::ReadMiso()
{
    WorkLatch();
    return ReadPin(m_Cable.m_nPinMiso);
}

void CIspProgrammer::Transfer(int count)
{
    assert(count >= 0 && count <= kFrameSize);
    count = std::clamp(count, 0, kFrameSize);
    for (int i = 0; i < count; ++i) {
        SetSck(0);
        std::uint8_t in = 0;
        for (int mask = 0x80; mask != 0; mask >>= 1) {
            // MOSI settles while SCK is low; MISO is valid after the rise.
            SetMosi(m_TxFrame[i] & mask);
            SetSck(1);
            if (ReadMiso())
                in |= std::uint8_t(mask);
            SetSck(0);
        }
        m_RxFrame[i] = in;
    }
}
