#include "isp/CableDescription.h"

#include "platform/ProfileFile.h"

namespace {

// Section names as they appear in the cable file (GBK there; the profile
// layer compares them as UTF-8). Keys, never shown: NOTR.
const char kPinSection[] = "引脚控制";     // NOTR
const char kLeSection[] = "锁存控制(LE)";  // NOTR
const char kOeSection[] = "输出控制(OE)";  // NOTR

CableDescription FromIni(const std::string& iniPath)
{
    const CableDescription def;
    const CProfileFile ini(iniPath);
    CableDescription c;
    // Key order as the cable file lists them.
    c.m_nPinMosi = ini.GetInt(kPinSection, "MOSI", def.m_nPinMosi);
    c.m_nPinMiso = ini.GetInt(kPinSection, "MISO", def.m_nPinMiso);
    c.m_nPinSck = ini.GetInt(kPinSection, "SCK", def.m_nPinSck);
    c.m_nPinRst = ini.GetInt(kPinSection, "RST", def.m_nPinRst);
    c.m_nPinLe = ini.GetInt(kPinSection, "LE", def.m_nPinLe);
    c.m_nPinOe = ini.GetInt(kPinSection, "OE", def.m_nPinOe);
    c.m_nPinR1 = ini.GetInt(kPinSection, "R1", def.m_nPinR1);
    c.m_nPinR2 = ini.GetInt(kPinSection, "R2", def.m_nPinR2);
    c.m_nLeEnable = ini.GetInt(kLeSection, "Enable", def.m_nLeEnable);
    c.m_nLeDisable = ini.GetInt(kLeSection, "Disable", def.m_nLeDisable);
    c.m_nOeEnable = ini.GetInt(kOeSection, "Enable", def.m_nOeEnable);
    c.m_nOeDisable = ini.GetInt(kOeSection, "Disable", def.m_nOeDisable);
    return c;
}

// Cables without a latch: LE is simply held low (both levels 0), and OE is
// pin 0, so switching it does nothing. The OE levels keep their type-1
// values; nothing reaches a pin through them.
CableDescription Fixed(int mosi, int miso, int sck, int rst, int le, int r1, int r2)
{
    CableDescription c;
    c.m_nPinMosi = mosi;
    c.m_nPinMiso = miso;
    c.m_nPinSck = sck;
    c.m_nPinRst = rst;
    c.m_nPinLe = le;
    c.m_nPinOe = 0;
    c.m_nPinR1 = r1;
    c.m_nPinR2 = r2;
    c.m_nLeEnable = 0;
    c.m_nLeDisable = 0;
    return c;
}

} // namespace

CableDescription CableDescription::ForType(int cableType, const std::string& iniPath)
{
    switch (cableType) {
    case 2:
        return Fixed(2, 10, 1, 17, 4, 14, 16);
    case 3:
        return Fixed(8, 11, 2, 3, 14, 0, 0);
    case 1:
        return FromIni(iniPath);
    default:
        return CableDescription();
    }
}
