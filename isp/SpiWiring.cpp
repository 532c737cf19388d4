#include "isp/SpiWiring.h"

#include <cerrno>
#include <cstring>

#include "platform/DecimalDigits.h"
#include "platform/ProfileFile.h"
#include "platform/UiText.h"

namespace {

// Short enough for std::stoi.
bool SmallNumber(const std::string& text)
{
    return text.size() <= 6 && IsDecimalDigits(text);
}

// "spidevB.C", with or without "/dev/": the bus and chip-select numbers.
bool IsSpidevName(const std::string& text)
{
    std::string name = text;
    if (name.rfind("/dev/", 0) == 0)
        name = name.substr(5);
    if (name.rfind("spidev", 0) != 0)
        return false;
    const std::string numbers = name.substr(6);
    const std::size_t dot = numbers.find('.');
    return dot != std::string::npos && SmallNumber(numbers.substr(0, dot))
        && SmallNumber(numbers.substr(dot + 1));
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

}  // namespace

SpiWiring SpiWiring::FromIni(const std::string& iniPath)
{
    const SpiWiring def;
    const CProfileFile ini(iniPath);
    SpiWiring w;
    w.m_strDevice = ini.GetString(kSection, "Device", def.m_strDevice);
    if (w.m_strDevice.empty())
        w.m_strDevice = def.m_strDevice;
    // A bare name ("spidev0.1"), as --port takes it, is the node in /dev.
    if (w.m_strDevice[0] != '/' && IsSpidevName(w.m_strDevice))
        w.m_strDevice = "/dev/" + w.m_strDevice;
    w.m_strRstChip = ini.GetString(kSection, "Chip", def.m_strRstChip);
    w.m_nRst = ini.GetInt(kSection, "RST", def.m_nRst);
    return w;
}

bool SpiWiring::LooksLikeOne(const std::string& text)
{
    return text.rfind("spidev", 0) == 0 || text.rfind("/dev/spidev", 0) == 0;
}

std::string SpiWiring::ApplyPort(const std::string& text)
{
    const std::size_t colon = text.find(':');
    const std::string device = text.substr(0, colon);
    if (!IsSpidevName(device))
        return "an SPI device is spidevB.C or /dev/spidevB.C (ls /dev/spidev* lists them),"
               " optionally followed by RST's GPIO chip and line: spidev0.0:gpiochip0:25";
    std::string chip = m_strRstChip;
    int line = m_nRst;
    if (colon != std::string::npos) {
        const std::string rest = text.substr(colon + 1);
        const std::size_t second = rest.find(':');
        chip = rest.substr(0, second);
        const std::string number = second == std::string::npos ? std::string() : rest.substr(second + 1);
        if (chip.empty() || !SmallNumber(number))
            return "\"" + text + "\": RST is given as a GPIO chip and a line number,"
                   " as in spidev0.0:gpiochip0:25";
        line = std::stoi(number);
    }
    m_strDevice = device[0] == '/' ? device : "/dev/" + device;
    m_strRstChip = chip;
    m_nRst = line;
    return {};
}

std::string SpiWiring::ToString() const
{
    std::string device = m_strDevice;
    if (device.rfind("/dev/spidev", 0) == 0)
        device = device.substr(5);
    return device + ":" + RstWiring().m_strChip + ":" + std::to_string(m_nRst);
}

GpioWiring SpiWiring::RstWiring() const
{
    GpioWiring wiring;
    if (!m_strRstChip.empty()) {
        wiring.m_strChip = m_strRstChip;
        wiring.m_bHeaderChip = false;
    }
    wiring.m_bGpioGroup = GpioWiring::GroupExists("gpio");
    wiring.m_nMosi = wiring.m_nMiso = wiring.m_nSck = GpioWiring::kNoLine;
    wiring.m_nRst = m_nRst;
    return wiring;
}

std::string SpiWiring::Problem() const
{
    if (m_nRst < 0)
        return "RST is line " + std::to_string(m_nRst) + ", which no chip has";
    return {};
}

LinesOpenFailure SpiWiring::Failure(int error, const std::string& step) const
{
    const std::string& device = m_strDevice;
    std::string text = device + ": ";
    if (step != "open")
        text += step + ": ";
    text += std::strerror(error);
    std::string fix;
    switch (error) {
    case EACCES:
    case EPERM:
        // Raspberry Pi OS gives its spidev nodes to the group spi;
        // elsewhere only the udev rule helps.
        if (GpioWiring::GroupExists("spi")) {
            text += " (the user needs read and write access to " + device
                + ": join the group spi and log in again, or install 60-tamberlink.rules into"
                  " /usr/lib/udev/rules.d)";
            fix = Tr("请把用户加入 spi 组后重新登录, 或安装 60-tamberlink.rules 规则");
        } else {
            text += " (the user needs read and write access to " + device
                + ": install 60-tamberlink.rules into /usr/lib/udev/rules.d and log in again)";
            fix = Tr("请安装 60-tamberlink.rules 规则后重新登录");
        }
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        text += " (SPI is off or has no such device: turn it on with dtparam=spi=on in"
                " config.txt, or raspi-config's Interface Options, and reboot; ls /dev/spidev*"
                " lists the devices; give --port spidevB.C or set Device in the [SPI] section"
                " of Quenby.ini)";
        fix = Tr("请打开 SPI 接口(config.txt 中 dtparam=spi=on)后重启, 或检查 --port 或 Quenby.ini 的 [SPI] 节");
        break;
    case ENOTTY:
        text += " (not an SPI device: give --port spidevB.C or set Device in the [SPI] section"
                " of Quenby.ini)";
        fix = Tr("这不是 spidev 设备, 请检查 --port 或 Quenby.ini 的 [SPI] 节");
        break;
    case EINVAL:
        text += " (the SPI controller does not take this setting)";
        fix = Tr("SPI 控制器不接受该设置");
        break;
    default:
        break;
    }
    return {text, {device, error, "SPI", fix}};
}

LinesOpenFailure SpiWiring::RstFailure(LinesOpenFailure gpio) const
{
    // The GPIO request words its hints for the GPIO kind; RST's chip and
    // line are set in [SPI] here. The section's name reads the same in
    // every language.
    ReplaceAll(gpio.text, "[GPIO]", "[SPI]");
    ReplaceAll(gpio.port.fix, "[GPIO]", "[SPI]");
    gpio.text = "RST: " + gpio.text;
    return gpio;
}
