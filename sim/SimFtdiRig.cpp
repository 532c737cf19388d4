#include "sim/SimFtdiRig.h"

#include "isp/LibFtdiBitBang.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

CSimFtdiRig::CSimFtdiRig(SimChipType chip, const FtdiWiring& board, Identity identity)
    : m_identity(std::move(identity))
    , m_kind(FtdiRate::KindOfProduct(m_identity.product))
    , m_latency(m_identity.latency > std::chrono::nanoseconds::zero() ? m_identity.latency
                : m_kind == FtdiChipKind::FT232H ? std::chrono::nanoseconds(kHighSpeedLatency)
                                                 : std::chrono::nanoseconds(kFullSpeedLatency))
    , m_bus(m_kind == FtdiChipKind::FT232H ? kHighSpeed : kFullSpeed)
    , m_board(chip)
    , m_socket(m_board.Target(), {board.m_nMosi, board.m_nMiso, board.m_nSck, board.m_nRst}, true)
{
}

bool CSimFtdiRig::Open(const FtdiAddress& address, const FtdiWiring& wiring,
                       LinesOpenFailure& failure)
{
    if (!address.Matches(m_identity.vendor, m_identity.product, m_identity.serial)) {
        failure = address.NotFound();
        return false;
    }
    if (m_identity.accessDenied) {
        failure = address.AccessDenied(kUsbPath);
        return false;
    }
    m_strName = address.ToString();
    std::string problem, fix;
    m_nBaud = FtdiRate::Choose(m_kind, wiring.m_nBaud, wiring.m_dCrystalHz, &problem, &fix);
    if (m_nBaud <= 0) {
        failure = address.Failure(m_strName + ": " + problem, EINVAL, fix);
        return false;
    }
    m_dStateTime =
        1e9 / (FtdiRate::StatesPerSecond(m_kind, m_nBaud) * (1 + m_identity.rateError));
    m_byMask = wiring.OutputMask();
    m_byLatch = 0;
    m_socket.Drive(m_byMask, 0);
    return true;
}

std::chrono::nanoseconds CSimFtdiRig::HostClock::Now() const
{
    return m_rig.m_board.Clock().Now();
}

std::chrono::nanoseconds CSimFtdiRig::PacketTime(int payload) const
{
    // A full packet takes its share of the (micro)frame; a short one less,
    // the protocol's overhead all the same.
    const double full = double(m_bus.frame.count()) / m_bus.perFrame;
    return std::chrono::nanoseconds(std::llround(
        full * double(payload + m_bus.overhead) / double(m_bus.packet + m_bus.overhead)));
}

void CSimFtdiRig::ResetCounters()
{
    m_nTransfers.store(0, std::memory_order_relaxed);
    m_nBytes.store(0, std::memory_order_relaxed);
    m_nStalls.store(0, std::memory_order_relaxed);
    m_nMostHeld.store(0, std::memory_order_relaxed);
}

bool CSimFtdiRig::Fail(const std::string& why)
{
    // Whatever was in flight is gone with the cable.
    m_strError = why;
    m_writes.clear();
    m_tx.clear();
    m_rx.clear();
    m_read.clear();
    m_exchanges.clear();
    m_bReading = false;
    m_tReadDone = -1;
    m_nTransferPackets = 0;
    return false;
}

bool CSimFtdiRig::Submit(const std::uint8_t* data, int size)
{
    Add(m_nTransfers, 1);
    if (m_bUnplugged)
        return Fail(m_strName + ": USB write failed: the cable is gone");
    RunUntil(m_board.Clock().Now());
    if (size > 0) {
        const double half = double(m_latency.count()) / 2;
        m_writes.push_back({std::vector<std::uint8_t>(data, data + size), 0, m_tNow + half});
        Add(m_nBytes, std::uint64_t(size));
    }
    m_exchanges.push_back(std::max(size, 0));
    StartRead();
    return true;
}

void CSimFtdiRig::StartRead()
{
    if (m_exchanges.empty() || m_bReading || m_tReadDone >= 0)
        return;
    Add(m_nTransfers, 1);
    // Samples that came with the last read's packet are handed over at once.
    if (m_read.size() >= std::size_t(m_exchanges.front()))
        m_tReadDone = m_tNow;
    else
        m_bReading = true;
}

bool CSimFtdiRig::Collect(std::uint8_t* samples, int size, std::chrono::milliseconds timeout)
{
    if (m_bUnplugged)
        return Fail(m_strName + ": USB read failed: the cable is gone");
    if (m_exchanges.empty() || m_exchanges.front() != size)
        return Fail(m_strName + ": USB read failed: no such exchange in flight");
    RunUntil(m_board.Clock().Now());
    const double limit = m_tNow + double(std::chrono::nanoseconds(timeout).count());
    while (m_tReadDone < 0) {
        if (!Step(limit)) {
            RunUntil(std::chrono::nanoseconds(std::llround(limit)));
            return Fail(m_strName + ": the cable sent no samples back within "
                        + std::to_string(timeout.count()) + " ms");
        }
    }
    RunUntil(std::chrono::nanoseconds(std::llround(std::max(m_tReadDone, m_tNow))));
    std::copy_n(m_read.begin(), size, samples);
    m_read.erase(m_read.begin(), m_read.begin() + size);
    m_exchanges.pop_front();
    m_tReadDone = -1;
    StartRead();
    return true;
}

bool CSimFtdiRig::SetOutputs(std::uint8_t mask)
{
    Add(m_nTransfers, 1);
    if (m_bUnplugged)
        return Fail(m_strName + ": USB control request failed: the cable is gone");
    const auto sent = m_board.Clock().Now();
    // Bytes clocked before the request arrives keep the old outputs; the
    // rest, even of exchanges already in flight, get the new ones.
    RunUntil(sent + m_latency / 2);
    m_byMask = mask;
    m_socket.Drive(m_byMask, m_byLatch & m_byMask);
    RunUntil(sent + m_latency);
    return true;
}

void CSimFtdiRig::RunUntil(std::chrono::nanoseconds deadline)
{
    const double limit = double(deadline.count());
    while (Step(limit)) {
    }
    m_tNow = std::max(m_tNow, limit);
    m_board.Clock().AdvanceTo(deadline);
}

bool CSimFtdiRig::Step(double limit)
{
    constexpr double kNever = std::numeric_limits<double>::infinity();
    double clockAt = kNever, returnAt = kNever, sendAt = kNever;
    if (!m_tx.empty()) {
        if (m_rx.size() < RxBuffer()) {
            clockAt = std::max({m_tNextState, m_tx.front().at, m_tNow});
        } else if (!m_bStalled) {
            m_bStalled = true;
            Add(m_nStalls, 1);
        }
    }
    if (m_bReading) {
        // A full packet goes at once; samples short of one, or none at all
        // when a read transfer has taken packets already, go when the
        // latency timer runs out.
        const double half = double(m_latency.count()) / 2;
        const std::size_t full = std::size_t(m_bus.packet - kStatusBytes);
        if (m_rx.size() >= full)
            returnAt = std::max({m_rx[full - 1].at, m_tBusFree, m_tNow});
        else if (!m_rx.empty())
            returnAt = std::max({m_rx.front().at + half, m_tBusFree, m_tNow});
        else if (m_nTransferPackets > 0)
            returnAt = std::max({m_tLastReturn + half, m_tBusFree, m_tNow});
    }
    if (!m_writes.empty()) {
        const Write& write = m_writes.front();
        const std::size_t n = std::min(std::size_t(m_bus.packet), write.bytes.size() - write.sent);
        // The chip refuses a packet it has no room for; the host retries.
        if (TxBuffer() - m_tx.size() >= n)
            sendAt = std::max({write.ready, m_tBusFree, m_tNow});
    }
    const double at = std::min({clockAt, returnAt, sendAt});
    if (at == kNever || at > limit)
        return false;
    m_tNow = at;
    if (at == clockAt)
        ClockByte(at);
    else if (at == returnAt)
        ReturnPacket(at);
    else
        SendPacket(at);
    return true;
}

void CSimFtdiRig::ClockByte(double at)
{
    m_board.Clock().AdvanceTo(std::chrono::nanoseconds(std::llround(at)));
    m_rx.push_back({m_socket.SenseByte(), at});
    m_byLatch = m_tx.front().value;
    m_socket.Drive(m_byMask, m_byLatch & m_byMask);
    m_tx.pop_front();
    m_tNextState = at + m_dStateTime;
    m_bStalled = false;
    if (m_nUnplugAfter != ~std::uint64_t(0) && m_nUnplugAfter-- == 0)
        m_bUnplugged = true;
}

void CSimFtdiRig::SendPacket(double at)
{
    Write& write = m_writes.front();
    const std::size_t n = std::min(std::size_t(m_bus.packet), write.bytes.size() - write.sent);
    const double arrives = at + double(PacketTime(int(n)).count());
    for (std::size_t i = 0; i < n; ++i)
        m_tx.push_back({write.bytes[write.sent + i], arrives});
    write.sent += n;
    m_tBusFree = arrives;
    if (m_tx.size() > m_nMostHeld.load(std::memory_order_relaxed))
        m_nMostHeld.store(m_tx.size(), std::memory_order_relaxed);
    if (write.sent == write.bytes.size())
        m_writes.pop_front();
}

void CSimFtdiRig::ReturnPacket(double at)
{
    const std::size_t n = std::min(std::size_t(m_bus.packet - kStatusBytes), m_rx.size());
    const double arrives = at + double(PacketTime(int(n) + kStatusBytes).count());
    for (std::size_t i = 0; i < n; ++i) {
        m_read.push_back(m_rx.front().value);
        m_rx.pop_front();
    }
    m_tBusFree = arrives;
    m_tLastReturn = arrives;
    // libftdi's read transfer ends when it is full or a packet comes short;
    // the read is over then if it has its samples, else it goes on.
    const auto perTransfer =
        int((CLibFtdiBitBang::kReadChunk + unsigned(m_bus.packet) - 1) / unsigned(m_bus.packet));
    if (n == std::size_t(m_bus.packet - kStatusBytes) && ++m_nTransferPackets < perTransfer)
        return;
    m_nTransferPackets = 0;
    if (!m_exchanges.empty() && m_read.size() >= std::size_t(m_exchanges.front())) {
        m_bReading = false;
        m_tReadDone = arrives;
    }
}
