#include "isp/IspSettings.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/AppGlobals.h"
#include "platform/ProfileFile.h"
#include "programmer/Programmer.h"

double IspSettings::ParseCrystal(const std::string& text)
{
    double value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value) || value <= 0
        || value > kMaxCrystalMHz)
        return 0;
    return value;
}

std::string IspSettings::CrystalText(double mhz)
{
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, mhz);
        if (ParseCrystal(text) == mhz)
            break;
    }
    return text;
}

IspSettings IspSettings::FromIni(const std::string& iniPath)
{
    const CProfileFile ini(iniPath);
    IspSettings settings;
    const double crystal = ParseCrystal(ini.GetString(kSection, "Crystal", ""));
    if (crystal > 0)
        settings.crystalMHz = crystal;
    settings.pageWrite = ini.GetInt(kSection, "PageWrite", 0) == 1;
    return settings;
}

IspSettings IspSettings::For(const CProgrammer& programmer)
{
    IspSettings settings = FromIni(IniFilePath("Quenby.ini"));
    if (programmer.m_dCrystalMHz > 0)
        settings.crystalMHz = programmer.m_dCrystalMHz;
    if (programmer.m_bPageWrite)
        settings.pageWrite = true;
    return settings;
}

bool IspSettings::StoreCrystal(const std::string& iniPath, double mhz)
{
    if (ParseCrystal(CrystalText(mhz)) <= 0)
        return false;
    return CProfileFile(iniPath).WriteString(kSection, "Crystal", CrystalText(mhz));
}
