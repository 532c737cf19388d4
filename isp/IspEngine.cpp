#include "isp/IspEngine.h"

#include <algorithm>
#include <cassert>
#include <system_error>
#include <utility>

#include "isp/IspFamily.h"
#include "isp/IspFamilyList.h"
#include "isp/IspSettings.h"
#include "platform/UiText.h"
#include "programmer/Programmer.h"
#include "programmer/StatusCode.h"

namespace {

// Progress is posted after the bytes with index 0, 15, 30 ...
constexpr int kProgressStep = 15;

const char* const kNoAnswerNote = "芯片没有应答编程使能指令, 请检查连线、晶振和电源.";
const char* const kLockNotSetNote = "锁定位写入后读回不符, 芯片没有被锁定.";

}  // namespace

CIspEngine::CIspEngine() : m_Families(MakeIspFamilies()) {}

CIspEngine::~CIspEngine()
{
    // The worker uses the handlers, the lines and the controller's buffers:
    // it must be gone before any of them.
    m_bStop = true;
    WaitIdle();
}

int CIspEngine::Init(CProgrammer* controller, std::unique_ptr<IIspLines> lines)
{
    assert(controller && lines);
    WaitIdle();
    m_pProgrammer = controller;
    m_pLines = std::move(lines);
    const IspSettings settings = IspSettings::For(*controller);
    m_dCrystalHz = settings.CrystalHz();
    m_bPageWrite = settings.pageWrite;
    m_bPortReady = m_pLines->IsOpen() ? 1 : 0;
    Post(m_bPortReady ? kStatusParallelReady : kStatusParallelFailed);
    m_bBusy = 0;
    // Prepared even when the open failed, so that the backend is complete
    // either way.
    m_pLines->Prepare();
    for (auto& family : m_Families)
        family->Attach(this);
    return m_bPortReady;
}

std::string CIspEngine::LinesError() const
{
    return m_pLines ? m_pLines->LastError() : std::string();
}

PortOpenFailure CIspEngine::OpenFailure() const
{
    return m_pLines ? m_pLines->OpenFailure() : PortOpenFailure{};
}

std::string CIspEngine::LinesName() const
{
    return m_pLines ? m_pLines->Describe() : std::string();
}

CIspFamily* CIspEngine::FindFamily(std::uint8_t code)
{
    for (auto& family : m_Families) {
        if (family->m_byDeviceCode == code) {
            m_pCurFamily = family.get();
            return family.get();
        }
    }
    return nullptr;
}

bool CIspEngine::LinesWork() const
{
    return m_bPortReady && !m_pLines->Failed();
}

void CIspEngine::Complete(int code)
{
    Post(m_pLines->Failed() ? kStatusUnavailable : code);
}

void CIspEngine::CheckReady(std::uint8_t code)
{
    const bool ready = LinesWork() && FindFamily(code);
    Post(ready ? kStatusReady : kStatusUnavailable);
}

void CIspEngine::DetectDevice(std::uint8_t code)
{
    Start(kDetect, code, 0);
}

void CIspEngine::EraseDevice(std::uint8_t code)
{
    Start(kErase, code, 0);
}

void CIspEngine::WriteDevice(std::uint8_t code)
{
    Start(kWrite, code, 0);
}

void CIspEngine::ReadDevice(std::uint8_t code)
{
    Start(kRead, code, 0);
}

void CIspEngine::LockDevice(std::uint8_t code, int level)
{
    Start(kLock, code, level);
}

void CIspEngine::Start(Operation operation, std::uint8_t code, int lockLevel)
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
    // Without the lines nothing reaches a device: a read would report
    // made-up data, an erase or lock a success that never happened.
    if (!LinesWork()) {
        m_bClaimed = false;
        Post(kStatusUnavailable);
        return;
    }
    // A worker that has posted its completion may still be releasing the
    // outputs; that release must not land after the next operation enabled
    // them.
    if (m_worker.joinable())
        m_worker.join();
    m_nOperation = operation;
    m_nLockLevel = lockLevel;
    TakeFailureNote();  // an earlier one nobody took is not this operation's
    try {
        m_worker = std::thread(&CIspEngine::IspWorker, this, family);
    } catch (const std::system_error&) {
        m_bClaimed = false;
        Post(kStatusUnavailable);
    }
}

void CIspEngine::WaitIdle()
{
    if (m_worker.joinable())
        m_worker.join();
}

void CIspEngine::EndOperation()
{
    m_bBusy = 0;
    m_bClaimed = false;
}

void CIspEngine::Post(int code)
{
    if (m_pProgrammer)
        m_pProgrammer->PostStatus(code);
}

std::string CIspEngine::TakeFailureNote()
{
    std::lock_guard lock(m_noteMutex);
    return std::exchange(m_strNote, std::string());
}

bool CIspEngine::EnableProgramming(CIspFamily* family)
{
    for (int attempt = 0; attempt <= kEnableRetries; ++attempt) {
        if (family->ProgramEnable())
            return true;
        // Retrying cannot help lines that are gone or a backend that goes.
        if (m_bStop || m_pLines->Failed())
            break;
    }
    return false;
}

void CIspEngine::Ended(CIspFamily* family, int code)
{
    family->EndProgramming();
    EndOperation();
    // The backend is being destroyed when stopped: nobody is left to act
    // on an outcome.
    if (!m_bStop)
        Complete(code);
}

void CIspEngine::Fail(CIspFamily* family, const std::string& note)
{
    if (!m_pLines->Failed()) {
        std::lock_guard lock(m_noteMutex);
        m_strNote = note;
    }
    Ended(family, kStatusReceiveError);
}

void CIspEngine::IspWorker(CIspFamily* family)
{
    struct TargetRelease {
        IIspLines& lines;
        ~TargetRelease() { lines.ReleaseTarget(); }
    } release{*m_pLines};
    m_bBusy = 1;
    m_pLines->EnableOutputs(true);
    if (!EnableProgramming(family)) {
        // Whatever came back is not the chip's: no signature, no data, no
        // erase or lock passes for done.
        Fail(family, Tr(kNoAnswerNote));
        m_pLines->EnableOutputs(false);
        return;
    }

    CProgrammer& programmer = *m_pProgrammer;
    switch (m_nOperation) {
    case kDetect: {
        std::array<std::uint8_t, 3> signature{};
        family->ReadSignature(signature);
        programmer.SetSignature(signature);
        family->EndProgramming();
        EndOperation();
        if (m_pLines->Failed())
            Post(kStatusUnavailable);
        else
            programmer.MatchSignature();
        break;
    }
    case kErase:
        family->ChipErase();
        Ended(family, kStatusEraseDone);
        break;
    case kWrite: {
        // The controller keeps the length inside its buffer; the clamp only
        // guards the buffer should that ever change.
        const int trimmed = programmer.TrimLength(programmer.Buffer1, CProgrammer::kBufferSize);
        assert(trimmed >= 0 && trimmed <= CProgrammer::kBufferSize);
        const int length = std::clamp(trimmed, 0, int(CProgrammer::kBufferSize));
        if (!EnableProgramming(family)) {
            Fail(family, Tr(kNoAnswerNote));
            break;
        }
        for (int p = 0; p < length; ++p) {
            if (m_bStop || m_pLines->Failed())
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
        Ended(family, kStatusWriteDone);
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
            if (m_bStop || m_pLines->Failed())
                break;
            programmer.m_nPos = p;
            programmer.Buffer2[p] = family->ReadByte(p);
            if (p % kProgressStep == 0)
                Post(kStatusReadProgress);
        }
        Ended(family, kStatusReadDone);
        break;
    }
    case kLock:
        if (!family->WriteLockBits(m_nLockLevel))
            Fail(family, Tr(kNoAnswerNote));
        else if (!family->LockBitsSet(m_nLockLevel))
            // A chip left unlocked must not pass for locked.
            Fail(family, Tr(kLockNotSetNote));
        else
            Ended(family, kStatusLockDone);
        break;
    default:
        EndOperation();
        break;
    }
    m_pLines->Flush();
    m_pLines->EnableOutputs(false);
}

void CIspEngine::SetMosi(int level)
{
    m_pLines->SetMosi(level);
}

void CIspEngine::SetRst(int level)
{
    m_pLines->SetRst(level);
}

void CIspEngine::SetSck(int level)
{
    m_pLines->SetSck(level);
}

int CIspEngine::ReadMiso()
{
    return m_pLines->ReadMiso();
}

void CIspEngine::Transfer(int count)
{
    assert(count >= 0 && count <= kFrameSize);
    count = std::clamp(count, 0, kFrameSize);
    m_pLines->Shift(std::span(m_TxFrame.data(), std::size_t(count)),
                    std::span(m_RxFrame.data(), std::size_t(count)));
}

void CIspEngine::Exchange(std::span<const std::uint8_t> tx, std::span<std::uint8_t> rx)
{
    assert(rx.empty() || rx.size() == tx.size());
    if (!rx.empty() && rx.size() != tx.size())
        rx = {};
    m_pLines->Shift(tx, rx);
}

void CIspEngine::Wait(std::chrono::nanoseconds duration)
{
    m_pLines->Wait(duration);
}
