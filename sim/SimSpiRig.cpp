#include "sim/SimSpiRig.h"

#include <cerrno>
#include <cmath>
#include <cstring>

class CSimSpiRig::Bus : public ISpiBus {
public:
    Bus(std::shared_ptr<CSimSpiRig> rig, std::uint32_t hz) : m_pRig(std::move(rig)), m_nHz(hz) {}

    bool Transfer(const std::uint8_t* tx, std::uint8_t* rx, std::size_t size) override
    {
        if (m_pRig->Transfer(tx, rx, size, m_nHz))
            return true;
        m_nError = ESHUTDOWN;
        m_strError = m_pRig->m_wiring.m_strDevice + ": SPI transfer of " + std::to_string(size)
            + " bytes: " + std::strerror(m_nError);
        return false;
    }
    std::uint32_t ClockHz() const override { return m_nHz; }
    std::string Error() const override { return m_strError; }
    int ErrorNumber() const override { return m_nError; }
    // Waiting costs model time only.
    IIspClock* Clock() override { return &m_pRig->Clock(); }

private:
    std::shared_ptr<CSimSpiRig> m_pRig;
    const std::uint32_t m_nHz;
    std::string m_strError;
    int m_nError = 0;
};

class CSimSpiRig::Rst : public IGpioLineRequest {
public:
    explicit Rst(std::shared_ptr<CSimSpiRig> rig) : m_pRig(std::move(rig)) {}

    int Set(Line line, int level) override
    {
        return line == kRst ? m_pRig->SetRst(level) : EPERM;  // the only line asked for
    }
    int Get(Line) override { return -EPERM; }

private:
    std::shared_ptr<CSimSpiRig> m_pRig;
};

std::shared_ptr<CSimSpiRig> CSimSpiRig::Make(SimChipType chip, const SpiWiring& board,
                                             Options options)
{
    return std::shared_ptr<CSimSpiRig>(new CSimSpiRig(chip, board, std::move(options)));
}

CSimSpiRig::CSimSpiRig(SimChipType chip, const SpiWiring& board, Options options)
    : m_wiring(board), m_options(std::move(options)), m_board(chip)
{
}

std::unique_ptr<ISpiBus> CSimSpiRig::OpenBus(const SpiWiring& host, std::uint32_t hz,
                                             LinesOpenFailure& failure)
{
    if (host.m_strDevice != m_wiring.m_strDevice) {
        failure = host.Failure(ENOENT, "open");
        return nullptr;
    }
    if (m_options.accessDenied) {
        failure = host.Failure(EACCES, "open");
        return nullptr;
    }
    if (hz == 0) {
        failure = host.Failure(EINVAL, "a clock of 0 Hz");
        return nullptr;
    }
    return std::make_unique<Bus>(shared_from_this(), hz);
}

std::unique_ptr<IGpioLineRequest> CSimSpiRig::RequestRst(const GpioWiring& host,
                                                         LinesOpenFailure& failure)
{
    const GpioWiring chip = m_wiring.RstWiring();
    if (host.DevicePath() != chip.DevicePath()) {
        failure = host.Failure(ENOENT);
        return nullptr;
    }
    if (m_options.accessDenied) {
        failure = host.Failure(EACCES);
        return nullptr;
    }
    if (host.m_nRst < 0 || host.m_nRst >= m_options.lineCount) {
        failure = host.Failure(EINVAL, host.m_nRst, m_options.lineCount);
        return nullptr;
    }
    if (const auto busy = m_options.busyLines.find(host.m_nRst); busy != m_options.busyLines.end()) {
        failure = host.Failure(EBUSY, host.m_nRst, m_options.lineCount, busy->second);
        return nullptr;
    }
    m_bRstOnPin = host.m_nRst == chip.m_nRst;
    // Requested as an output, low.
    m_bRst = false;
    Target().SetLines(false, false, false);
    return std::make_unique<Rst>(shared_from_this());
}

void CSimSpiRig::ResetCounters()
{
    m_nTransfers.store(0, std::memory_order_relaxed);
    m_nBytes.store(0, std::memory_order_relaxed);
}

int CSimSpiRig::SetRst(int level)
{
    if (m_bUnplugged)
        return ENODEV;
    Clock().Advance(m_options.lineTime);
    m_bRst = level != 0;
    // SCK idles low between transfers (mode 0).
    Target().SetLines(RstAtPin(), false, false);
    return 0;
}

bool CSimSpiRig::Transfer(const std::uint8_t* tx, std::uint8_t* rx, std::size_t size,
                          std::uint32_t hz)
{
    if (m_bUnplugged)
        return false;
    m_nTransfers.store(Transfers() + 1, std::memory_order_relaxed);
    m_nBytes.store(Bytes() + size, std::memory_order_relaxed);
    Clock().Advance(kTransferOverhead);
    // The controller's clock is symmetric: each phase is half a period.
    const std::chrono::nanoseconds half(std::llround(1e9 / (2.0 * hz)));
    CSimIspTarget& target = Target();
    for (std::size_t i = 0; i < size; ++i)
        rx[i] = target.ClockByte(tx[i], half, half);
    return true;
}
