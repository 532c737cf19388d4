#include "sim/SimFtdiRig.h"

#include <algorithm>

CSimFtdiRig::CSimFtdiRig(SimChipType chip, const FtdiWiring& board, Identity identity)
    : m_identity(std::move(identity))
    , m_board(chip)
    , m_socket(m_board.Target(), {board.m_nMosi, board.m_nMiso, board.m_nSck, board.m_nRst}, true)
{
}

bool CSimFtdiRig::Open(const FtdiAddress& address, std::uint8_t outputMask,
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
    m_byMask = outputMask;
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
    if (m_received.size() + std::size_t(std::max(size, 0)) > kReceiveBuffer) {
        m_strError = m_strName + ": USB write failed: the receive buffer is full and the chip"
                                 " stopped clocking";
        return false;
    }
    // The last round trip took long enough for a byte write to finish.
    m_board.Target().CompleteWrite();
    for (int i = 0; i < size; ++i) {
        std::uint8_t sample = 0;
        for (int line = 0; line < 8; ++line)
            if (m_socket.Sense(line))
                sample = std::uint8_t(sample | (1u << line));
        m_received.push_back(sample);
        m_socket.Drive(m_byMask, data[i] & m_byMask);
    }
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
    const int n = int(std::min(m_received.size(), std::size_t(std::max(size, 0))));
    std::copy_n(m_received.begin(), n, data);
    m_received.erase(m_received.begin(), m_received.begin() + n);
    return n;
}
