#include "isp/ParallelPort.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "isp/DirectIoPort.h"
#include "isp/PinMap.h"
#include "isp/PpdevPort.h"
#include "platform/AppGlobals.h"
#include "platform/MessageSink.h"
#include "platform/ProfileFile.h"
#include "platform/UiText.h"

namespace {

const char kCaption[] = "Tamberlink";
const char kDriverFailed[] = "初始化驱动程序失败!";
const char kPortIoFailed[] = "初始化并口I/O失败!";
const char kDefaultDevice[] = "/dev/parport0";

// The device node is absent or no driver stands behind it: only then is
// direct port I/O a fair substitute. A present but busy or forbidden ppdev
// device means someone else owns the port, or the user lacks access.
bool DriverMissing(int error)
{
    return error == ENOENT || error == ENODEV || error == ENXIO;
}

std::string ErrorText(int error)
{
    std::string text = std::strerror(error);
    if (error == EACCES || error == EPERM)
        text += " (the user needs read and write access to the device, usually "
                "membership of the group lp)";
    return text;
}

} // namespace

CParallelPort::CParallelPort(IMessageSink& sink) : m_sink(sink) {}

CParallelPort::~CParallelPort() = default;

int CParallelPort::Open(std::uint16_t base)
{
    m_wDataPort = base;
    m_wStatusPort = static_cast<std::uint16_t>(base + 1);
    m_wControlPort = static_cast<std::uint16_t>(base + 2);
    m_pRegisters.reset();
    m_bDirectIo = 0;
    m_strLastError.clear();
    m_nLastOpenErrno = 0;

    // One printer port per program: its device node is configurable for
    // machines where it is not the first one.
    m_strDevicePath = CProfileFile(IniFilePath("Tamber_Info.ini"))
                          .GetString("Ports", "LPT1", kDefaultDevice);
    if (m_strDevicePath.empty())
        m_strDevicePath = kDefaultDevice;

    int error = 0;
    if (auto ppdev = CPpdevPort::Open(m_strDevicePath, &error)) {
        m_pRegisters = std::move(ppdev);
        return 1;
    }
    // The driver's error is what the user can mend; direct I/O is only the
    // fallback for machines without it.
    m_nLastOpenErrno = error;
    std::string reason = m_strDevicePath + ": " + ErrorText(error);

    if (!DriverMissing(error)) {
        m_sink.ShowMessage(Tr(kDriverFailed), kCaption, MessageIcon::Warning);
    } else if (m_bDirectIoAllowed) {
        if (auto direct = CDirectIoPort::Open(base, &error)) {
            m_pRegisters = std::move(direct);
            m_bDirectIo = 1;
            m_nLastOpenErrno = 0;
            return 1;
        }
        char port[16];
        std::snprintf(port, sizeof port, "0x%X", base);
        reason += "; direct I/O at " + std::string(port) + ": " + std::strerror(error);
    }

    m_strLastError = reason;
    m_sink.ShowMessage(Tr(kPortIoFailed), kCaption, MessageIcon::Warning);
    return 0;
}

bool CParallelPort::OpenWith(std::unique_ptr<IPortRegisters> registers)
{
    if (!registers)
        return false;
    m_pRegisters = std::move(registers);
    m_bDirectIo = 0;
    m_strLastError.clear();
    m_nLastOpenErrno = 0;
    return true;
}

// Without an open port, reads return the shadow and writes only change it,
// so the pin layer keeps a consistent picture and touches nothing.
std::uint8_t CParallelPort::ReadData()
{
    if (m_pRegisters)
        m_byData = m_pRegisters->Read(IPortRegisters::kData);
    return m_byData;
}

std::uint8_t CParallelPort::ReadStatus()
{
    if (m_pRegisters)
        m_byStatus = m_pRegisters->Read(IPortRegisters::kStatus);
    return m_byStatus;
}

std::uint8_t CParallelPort::ReadControl()
{
    if (m_pRegisters)
        m_byControl = m_pRegisters->Read(IPortRegisters::kControl);
    return m_byControl;
}

void CParallelPort::WriteData(std::uint8_t value)
{
    m_byData = value;
    if (m_pRegisters)
        m_pRegisters->Write(IPortRegisters::kData, value);
}

void CParallelPort::WriteControl(std::uint8_t value)
{
    m_byControl = value;
    if (m_pRegisters)
        m_pRegisters->Write(IPortRegisters::kControl, value);
}

int CParallelPort::SetPinHigh(int pin)
{
    return SetPin(pin, 1);
}

int CParallelPort::SetPinLow(int pin)
{
    return SetPin(pin, 0);
}

int CParallelPort::SetPin(int pin, int level)
{
    const auto info = LookupPin(pin);
    if (!info || !info->settable)
        return 0;
    const auto mask = static_cast<std::uint8_t>(1u << info->bit);
    // An inverted pin is high when its bit is clear.
    const bool setBit = (level != 0) != info->inverted;
    // The whole shadow goes out: the register is never read first.
    const auto apply = [&](std::uint8_t shadow) {
        return static_cast<std::uint8_t>(setBit ? (shadow | mask) : (shadow & ~mask));
    };
    if (info->reg == IPortRegisters::kData)
        WriteData(apply(m_byData));
    else
        WriteControl(apply(m_byControl));
    return 1;
}

int CParallelPort::ReadPin(int pin)
{
    const auto info = LookupPin(pin);
    if (!info)
        return 0;
    std::uint8_t value = 0;
    switch (info->reg) {
    case IPortRegisters::kData:
        value = ReadData();
        break;
    case IPortRegisters::kStatus:
        value = ReadStatus();
        break;
    default:
        value = ReadControl();
        break;
    }
    const auto mask = static_cast<std::uint8_t>(1u << info->bit);
    if (info->inverted)
        return (value & mask) ? 0 : 1;
    return value & mask;
}
