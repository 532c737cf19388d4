#include "isp/FtdiRate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "isp/IspSettings.h"
#include "isp/IspTiming.h"
#include "platform/UiText.h"

const char* FtdiRate::Name(FtdiChipKind kind)
{
    return kind == FtdiChipKind::FT232H ? "FT232H" : "FT232R";
}

FtdiChipKind FtdiRate::KindOfProduct(int product)
{
    switch (product) {
    case 0x6010:
    case 0x6011:
    case 0x6014:
        return FtdiChipKind::FT232H;
    default:
        return FtdiChipKind::FT232R;
    }
}

double FtdiRate::StatesPerSecond(FtdiChipKind kind, int baud)
{
    return double(baud) * (kind == FtdiChipKind::FT232H ? kStatesPerBaudH : kStatesPerBaudR);
}

int FtdiRate::MaxSafeBaud(FtdiChipKind kind, double crystalHz)
{
    const double perBaud = kind == FtdiChipKind::FT232H ? kStatesPerBaudH : kStatesPerBaudR;
    const double safe = IspTiming::MaxPhaseRate(crystalHz) / (perBaud * kGeneratorTolerance);
    const int chipMax = kind == FtdiChipKind::FT232H ? kMaxBaudH : kMaxBaudR;
    return std::clamp(int(std::floor(safe)), 1, chipMax);
}

int FtdiRate::Choose(FtdiChipKind kind, int configured, double crystalHz, std::string* problem,
                     std::string* fix)
{
    const int limit = MaxSafeBaud(kind, crystalHz);
    if (configured <= 0)
        return limit;
    if (configured <= limit)
        return configured;
    const std::string crystal = IspSettings::CrystalText(crystalHz / 1e6);
    if (problem)
        *problem = "Baud=" + std::to_string(configured) + " clocks an " + Name(kind) + " at "
            + std::to_string(std::llround(StatesPerSecond(kind, configured)))
            + " line states per second, too fast for a " + crystal
            + " MHz crystal (SCK high and low must each last 8 crystal periods): set Baud to at"
              " most "
            + std::to_string(limit)
            + " in the [FTDI] section of Quenby.ini, or leave it out for the fastest safe rate";
    if (fix) {
        char text[256];
        std::snprintf(text, sizeof text, Tr("%s: Baud=%d 对 %s MHz 晶振太快, 最大为 %d"),
                      Name(kind), configured, crystal.c_str(), limit);
        *fix = text;
    }
    return 0;
}
