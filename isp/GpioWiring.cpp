#include "isp/GpioWiring.h"

#include <grp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/DecimalDigits.h"
#include "platform/ProfileFile.h"
#include "platform/UiText.h"

namespace {

// A fix with a line number (and who holds the line), from a format looked
// up whole in the interface's language.
std::string LineFix(const char* chinese, int line, const std::string& holder = {})
{
    char text[512];
    std::snprintf(text, sizeof text, Tr(chinese), line, holder.c_str());
    return text;
}

} // namespace

GpioWiring GpioWiring::FromIni(const std::string& iniPath)
{
    const GpioWiring def;
    const CProfileFile ini(iniPath);
    GpioWiring w;
    w.m_strChip = ini.GetString(kSection, "Chip", std::string());
    w.m_bHeaderChip = w.m_strChip.empty();
    if (w.m_strChip.empty())
        w.m_strChip = def.m_strChip;
    w.m_bGpioGroup = GroupExists("gpio");
    w.m_nMosi = ini.GetInt(kSection, "MOSI", def.m_nMosi);
    w.m_nMiso = ini.GetInt(kSection, "MISO", def.m_nMiso);
    w.m_nSck = ini.GetInt(kSection, "SCK", def.m_nSck);
    w.m_nRst = ini.GetInt(kSection, "RST", def.m_nRst);
    return w;
}

bool GpioWiring::GroupExists(const char* name)
{
    struct group entry{};
    struct group* found = nullptr;
    std::vector<char> buffer(4096);
    // A group with many members needs a larger buffer.
    while (getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found) == ERANGE
           && buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return found != nullptr;
}

std::string GpioWiring::Problem() const
{
    const struct {
        const char* name;
        int line;
    } lines[] = {{"MOSI", m_nMosi}, {"MISO", m_nMiso}, {"SCK", m_nSck}, {"RST", m_nRst}};
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        if (lines[i].line < 0)
            return std::string(lines[i].name) + " is line " + std::to_string(lines[i].line)
                + ", which no chip has";
        for (std::size_t j = 0; j < i; ++j)
            if (lines[j].line == lines[i].line)
                return std::string(lines[j].name) + " and " + lines[i].name + " are both line "
                    + std::to_string(lines[i].line);
    }
    return {};
}

std::string GpioWiring::DevicePath() const
{
    const std::string& chip = m_strChip;
    if (!chip.empty() && chip[0] == '/')
        return chip;
    if (IsDecimalDigits(chip))
        return "/dev/gpiochip" + chip;
    if (chip.rfind("gpiochip", 0) == 0)
        return "/dev/" + chip;
    return chip;
}

std::string GpioWiring::Explain(int error, int line, int lineCount,
                                const std::string& consumer) const
{
    const std::string device = DevicePath();
    if (line >= 0 && lineCount > 0 && line >= lineCount)
        return device + ": line " + std::to_string(line) + " does not exist (the chip has lines 0 to "
            + std::to_string(lineCount - 1) + "; check the [GPIO] section of Quenby.ini)";
    std::string text = device;
    if (line >= 0)
        text += " line " + std::to_string(line);
    text += ": ";
    text += std::strerror(error);
    switch (error) {
    case EACCES:
    case EPERM:
        text += " (the user needs read and write access to " + device
            + ": install 60-tamberlink.rules into /usr/lib/udev/rules.d and log in again"
            + (m_bGpioGroup ? ", or join the group gpio)" : ")");
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        if (m_bHeaderChip) {
            text += " (no GPIO chip has the label of a Raspberry Pi's header";
            // By position: two copies of one string literal need not share
            // an address, so the first label is not found by comparing them.
            const char* separator = " (";
            for (const char* label : kHeaderChipLabels) {
                text += separator;
                text += label;
                separator = ", ";
            }
            text += ") and there is no " + m_strChip + ";";
        } else {
            text += " (no such GPIO chip:";
        }
        text += " gpiodetect lists them; give --port or set Chip in the [GPIO] section of"
                " Quenby.ini)";
        break;
    case EBUSY:
        // On a Raspberry Pi the SPI driver holds GPIO 9 to 11 while SPI is on.
        text += " (held by " + (consumer.empty() ? std::string("another program") : "\"" + consumer + "\"")
            + "; a kernel driver such as SPI may own it: turn that interface off)";
        break;
    default:
        break;
    }
    return text;
}

LinesOpenFailure GpioWiring::Failure(int error, int line, int lineCount,
                                     const std::string& consumer) const
{
    std::string fix;
    if (line >= 0 && lineCount > 0 && line >= lineCount)
        fix = LineFix("该芯片只有 0 到 %d 号线, 请检查 Quenby.ini 的 [GPIO] 节", lineCount - 1);
    else if (error == EACCES || error == EPERM)
        fix = m_bGpioGroup ? Tr("请安装 60-tamberlink.rules 规则后重新登录, 或把用户加入 gpio 组")
                           : Tr("请安装 60-tamberlink.rules 规则后重新登录");
    else if (error == ENOENT || error == ENODEV || error == ENXIO)
        fix = Tr("gpiodetect 列出 GPIO 芯片; 请检查 --port 或 Quenby.ini 的 [GPIO] 节");
    else if (error == EBUSY)
        fix = LineFix("%d 号线已被 %s 占用, 请关闭占用它的接口(如 SPI)", line,
                      consumer.empty() ? std::string(Tr("另一个程序")) : "\"" + consumer + "\"");
    else if (error == ENOSYS)
        fix = Tr("此程序编译时没有 libgpiod, 不支持 GPIO");
    return {Explain(error, line, lineCount, consumer), {DevicePath(), error, "GPIO", fix}};
}

LinesOpenFailure GpioWiring::ProblemFailure(const std::string& problem) const
{
    return {DevicePath() + ": " + problem + " (check the [GPIO] section of Quenby.ini)",
            {DevicePath(), EINVAL, "GPIO",
             Tr("请检查 Quenby.ini 的 [GPIO] 节: MOSI, MISO, SCK, RST 须为四条不同的线")}};
}
