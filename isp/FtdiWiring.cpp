#include "isp/FtdiWiring.h"

#include <algorithm>
#include <cctype>

#include "platform/ProfileFile.h"

namespace {

const char* const kNames[8] = {"TXD", "RXD", "RTS", "CTS", "DTR", "DSR", "DCD", "RI"};

std::string Upper(std::string text)
{
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

int FtdiWiring::ParseLine(const std::string& text)
{
    const std::string name = Upper(text);
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '7')
        return name[0] - '0';
    if (name.size() == 2 && name[0] == 'D' && name[1] >= '0' && name[1] <= '7')
        return name[1] - '0';
    for (int i = 0; i < 8; ++i)
        if (name == kNames[i])
            return i;
    return -1;
}

std::string FtdiWiring::LineName(int line)
{
    // Appended, not "D" + a temporary string: GCC 12 warns (-Wrestrict)
    // about the insert at the front that operator+ inlines for that.
    std::string name = line < 0 || line > 7 ? "line " : "D";
    name += std::to_string(line);
    if (line >= 0 && line <= 7) {
        name += " (";
        name += kNames[line];
        name += ')';
    }
    return name;
}

FtdiWiring FtdiWiring::FromIni(const std::string& iniPath)
{
    const FtdiWiring def;
    const CProfileFile ini(iniPath);
    auto line = [&](const char* key, int fallback) {
        const std::string text = ini.GetString(kSection, key, std::string());
        return text.empty() ? fallback : ParseLine(text);
    };
    FtdiWiring w;
    w.m_strDevice = ini.GetString(kSection, "Device", def.m_strDevice);
    if (w.m_strDevice.empty())
        w.m_strDevice = def.m_strDevice;
    w.m_nMosi = line("MOSI", def.m_nMosi);
    w.m_nMiso = line("MISO", def.m_nMiso);
    w.m_nSck = line("SCK", def.m_nSck);
    w.m_nRst = line("RST", def.m_nRst);
    w.m_nBaud = ini.GetInt(kSection, "Baud", def.m_nBaud);
    return w;
}

std::string FtdiWiring::Problem() const
{
    const struct {
        const char* name;
        int line;
    } lines[] = {{"MOSI", m_nMosi}, {"MISO", m_nMiso}, {"SCK", m_nSck}, {"RST", m_nRst}};
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        if (lines[i].line < 0 || lines[i].line > 7)
            return std::string(lines[i].name)
                + " is not one of D0..D7 (0 to 7, or TXD, RXD, RTS, CTS, DTR, DSR, DCD, RI)";
        for (std::size_t j = 0; j < i; ++j)
            if (lines[j].line == lines[i].line)
                return std::string(lines[j].name) + " and " + lines[i].name + " are both "
                    + LineName(lines[i].line);
    }
    if (m_nBaud < 0)
        return "Baud must be above 0 (or left out for the fastest safe rate)";
    return {};
}

std::uint8_t FtdiWiring::OutputMask() const
{
    unsigned mask = 0;
    for (int line : {m_nMosi, m_nSck, m_nRst})
        if (line >= 0 && line <= 7)
            mask |= 1u << line;
    return std::uint8_t(mask);
}
