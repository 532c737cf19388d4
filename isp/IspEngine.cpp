#include "isp/IspEngine.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <system_error>
#include <utility>
#include <vector>

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
const char* const kWriteVerifyNote = "写入后读回不符: 地址 0x%04X 应为 %02X, 读出 %02X.";

}  // namespace

CIspEngine::CIspEngine(Algorithm algorithm)
    : m_Families(MakeIspFamilies()), m_algorithm(algorithm)
{
}

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
        family->Attach(&m_link);
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
    ReleaseLines();
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

void CIspEngine::ReleaseLines()
{
    // Before the outcome is told: lines that fail on the way out fail the
    // operation, rather than the next one.
    m_pLines->Flush();
    m_pLines->ReleaseTarget();
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
        ReleaseLines();
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
        if (m_algorithm == Algorithm::kStreamed) {
            WriteStreamed(family, length);
            break;
        }
        WritePolled(family, length);
        // A failed write leaves the cable's outputs enabled.
        return;
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
        ReadImage(family, length, programmer.Buffer2, true);
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

void CIspEngine::WritePolled(CIspFamily* family, int length)
{
    CProgrammer& programmer = *m_pProgrammer;
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
    m_pLines->Flush();
    m_pLines->EnableOutputs(false);
}

void CIspEngine::WriteStreamed(CIspFamily* family, int length)
{
    CProgrammer& programmer = *m_pProgrammer;
    const std::uint8_t* image = programmer.Buffer1;
    // An erased chip holds 0xFF already, and programming one changes
    // nothing: only the other bytes are sent, and progress counts them.
    const int toWrite = int(std::count_if(image, image + length, [](std::uint8_t b) { return b != 0xFF; }));
    programmer.m_nLength = toWrite;
    const int page = family->PageSize();
    int written = 0;
    bool pageTimedOut = false;
    for (int p = 0; p < length && !pageTimedOut; ++p) {
        if (m_bStop || m_pLines->Failed())
            break;
        if (image[p] == 0xFF)
            continue;
        int sent = 1;
        if (m_bPageWrite) {
            // The whole page from here in one instruction; its 0xFF bytes
            // leave their cells as they are.
            const int base = p - p % page;
            const int end = std::min(base + page, length);
            sent = int(std::count_if(image + p, image + end, [](std::uint8_t b) { return b != 0xFF; }));
            pageTimedOut = !family->WritePage(base, std::span(image + base, std::size_t(end - base)));
            p = end - 1;
        } else {
            family->StreamByte(image[p], p);
        }
        for (int i = 0; i < sent; ++i) {
            programmer.m_nPos = written;
            if (written++ % kProgressStep == 0)
                Post(kStatusWriteProgress);
        }
    }
    family->EndStream();
    // The length a verify reads is the image's, not the count written.
    programmer.m_nLength = length;
    if (m_bStop || m_pLines->Failed() || pageTimedOut) {
        Ended(family, pageTimedOut ? kStatusWriteError : kStatusWriteDone);
        return;
    }
    // No byte was read back as it went: the whole image is, now.
    std::vector<std::uint8_t> chip(std::size_t(length), 0xFF);
    ReadImage(family, length, chip.data(), false);
    const auto differs = std::mismatch(chip.begin(), chip.end(), image);
    if (differs.first == chip.end()) {
        Ended(family, kStatusWriteDone);
        return;
    }
    const int at = int(differs.first - chip.begin());
    {
        std::lock_guard lock(m_noteMutex);
        char note[256];
        std::snprintf(note, sizeof note, Tr(kWriteVerifyNote), unsigned(at), unsigned(image[at]),
                      unsigned(*differs.first));
        m_strNote = note;
    }
    Ended(family, kStatusWriteError);
}

void CIspEngine::ReadImage(CIspFamily* family, int length, std::uint8_t* out, bool progress)
{
    CProgrammer& programmer = *m_pProgrammer;
    if (m_algorithm == Algorithm::kPolled) {
        for (int p = 0; p < length; ++p) {
            if (m_bStop || m_pLines->Failed())
                return;
            programmer.m_nPos = p;
            out[p] = family->ReadByte(p);
            if (progress && p % kProgressStep == 0)
                Post(kStatusReadProgress);
        }
        return;
    }
    // Page by page (the first and last may be partial), progress after each.
    const int page = family->PageSize();
    for (int p = 0; p < length;) {
        if (m_bStop || m_pLines->Failed())
            return;
        const int end = std::min(p - p % page + page, length);
        family->ReadBlock(p, std::span(out + p, std::size_t(end - p)));
        p = end;
        if (progress) {
            programmer.m_nPos = p - 1;
            Post(kStatusReadProgress);
        }
    }
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

void CIspEngine::HoldNextFrameEnd(std::chrono::nanoseconds duration)
{
    m_pLines->HoldNextFrameEnd(duration);
}
