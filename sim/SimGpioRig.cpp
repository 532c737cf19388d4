#include "sim/SimGpioRig.h"

#include <algorithm>
#include <cerrno>

CSimGpioRig::CSimGpioRig(SimChipType chip, const GpioWiring& board, Options options)
    : m_wiring(board)
    , m_options(std::move(options))
    , m_nLineCount(std::clamp(m_options.lineCount, 0, 64))
    , m_board(chip)
    , m_socket(m_board.Target(), {board.m_nMosi, board.m_nMiso, board.m_nSck, board.m_nRst},
               false)
{
}

bool CSimGpioRig::Request(const GpioWiring& host, LinesOpenFailure& failure)
{
    if (host.DevicePath() != m_wiring.DevicePath()) {
        failure = host.Failure(ENOENT);
        return false;
    }
    if (m_options.accessDenied) {
        failure = host.Failure(EACCES);
        return false;
    }
    const int offsets[4] = {host.m_nMosi, host.m_nSck, host.m_nRst, host.m_nMiso};
    for (int i = 0; i < 4; ++i) {
        const int offset = offsets[i];
        if (offset < 0 || offset >= m_nLineCount) {
            failure = host.Failure(EINVAL, offset, m_nLineCount);
            return false;
        }
        // The first request of a line that is already held, this one's own
        // earlier lines included, is refused.
        const auto busy = m_options.busyLines.find(offset);
        for (int j = 0; j < i; ++j)
            if (offsets[j] == offset) {
                failure = host.Failure(EBUSY, offset, m_nLineCount, "tamberlink");
                return false;
            }
        if (busy != m_options.busyLines.end()) {
            failure = host.Failure(EBUSY, offset, m_nLineCount, busy->second);
            return false;
        }
    }
    for (int i = 0; i < 4; ++i)
        m_offsets[i] = offsets[i];
    // RST an output, low, as the request asks for; MOSI and SCK inputs
    // until SetDriving.
    m_driven = 1ull << offsets[kRst];
    m_levels = 0;
    m_socket.Drive(m_driven, m_levels);
    return true;
}

void CSimGpioRig::ResetCounters()
{
    m_nChanges.store(0, std::memory_order_relaxed);
    m_nReads.store(0, std::memory_order_relaxed);
}

int CSimGpioRig::Set(Line line, int level)
{
    if (m_bUnplugged)
        return ENODEV;
    if (line == kMiso || m_offsets[line] < 0)
        return EPERM;  // not an output this request holds
    const std::uint64_t bit = 1ull << m_offsets[line];
    if (!(m_driven & bit))
        return EPERM;  // an input now: the kernel refuses to set it
    Bump(m_nChanges);
    m_board.Clock().Advance(m_options.lineTime);
    m_levels = level ? (m_levels | bit) : (m_levels & ~bit);
    m_socket.Drive(m_driven, m_levels);
    return 0;
}

int CSimGpioRig::Get(Line line)
{
    if (m_bUnplugged)
        return -ENODEV;
    if (m_offsets[line] < 0)
        return -EPERM;
    Bump(m_nReads);
    m_board.Clock().Advance(m_options.lineTime);
    return m_socket.Sense(m_offsets[line]) ? 1 : 0;
}

int CSimGpioRig::SetDriving(bool on)
{
    if (m_bUnplugged)
        return ENODEV;
    if (m_offsets[kRst] < 0)
        return EPERM;
    // A reconfiguration of the request: one system call.
    m_board.Clock().Advance(m_options.lineTime);
    const std::uint64_t moved = (1ull << m_offsets[kMosi]) | (1ull << m_offsets[kSck]);
    // Outputs start low; lines let go float to what the target gives them.
    m_levels &= on ? ~moved : ~(1ull << m_offsets[kRst]);
    m_driven = on ? (m_driven | moved) : (m_driven & ~moved);
    m_socket.Drive(m_driven, m_levels);
    return 0;
}
