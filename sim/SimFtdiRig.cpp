#include "sim/SimFtdiRig.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

CSimFtdiRig::CSimFtdiRig(SimChipType chip, const FtdiWiring& board, Identity identity)
    : m_identity(std::move(identity))
    , m_kind(FtdiRate::KindOfProduct(m_identity.product))
    , m_latency(m_identity.latency > std::chrono::nanoseconds::zero() ? m_identity.latency
                : m_kind == FtdiChipKind::FT232H ? std::chrono::nanoseconds(kHighSpeedLatency)
                                                 : std::chrono::nanoseconds(kFullSpeedLatency))
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
    m_dStateTime = 1e9 / FtdiRate::StatesPerSecond(m_kind, m_nBaud);
    m_byMask = wiring.OutputMask();
    m_socket.Drive(m_byMask, 0);
    return true;
}

void CSimFtdiRig::ResetCounters()
{
    m_nTransfers.store(0, std::memory_order_relaxed);
    m_nBytes.store(0, std::memory_order_relaxed);
}

bool CSimFtdiRig::Write(const std::uint8_t* data, int size)
{
    Add(m_nTransfers, 1);
    if (m_bUnplugged) {
        m_strError = m_strName + ": USB write failed: the cable is gone";
        return false;
    }
    if (m_received.size() + std::size_t(std::max(size, 0)) > kInFlight) {
        m_strError = m_strName + ": USB write failed: more than " + std::to_string(kInFlight)
            + " bytes in flight, the chip stopped clocking";
        return false;
    }
    CSimClock& clock = m_board.Clock();
    const auto start = clock.Now();
    for (int i = 0; i < size; ++i) {
        clock.AdvanceTo(start + std::chrono::nanoseconds(std::llround(i * m_dStateTime)));
        std::uint8_t sample = 0;
        for (int line = 0; line < 8; ++line)
            if (m_socket.Sense(line))
                sample = std::uint8_t(sample | (1u << line));
        m_received.push_back(sample);
        m_socket.Drive(m_byMask, data[i] & m_byMask);
    }
    // The last state lasts its period too.
    clock.AdvanceTo(start + std::chrono::nanoseconds(std::llround(size * m_dStateTime)));
    m_bRoundTripDue = size > 0;
    Add(m_nBytes, std::uint64_t(std::max(size, 0)));
    return true;
}

int CSimFtdiRig::Read(std::uint8_t* data, int size)
{
    Add(m_nTransfers, 1);
    if (m_bUnplugged) {
        m_strError = m_strName + ": USB read failed: the cable is gone";
        return -1;
    }
    if (m_bRoundTripDue) {
        // The samples come back one USB round trip after the write.
        m_board.Clock().Advance(m_latency);
        m_bRoundTripDue = false;
    }
    const int n = int(std::min(m_received.size(), std::size_t(std::max(size, 0))));
    std::copy_n(m_received.begin(), n, data);
    m_received.erase(m_received.begin(), m_received.begin() + n);
    return n;
}
