#include "settings/core/WindowPlacement.h"

#include <cctype>
#include <climits>
#include <string>

#include "platform/ProfileFile.h"

namespace {

constexpr const char* kX = "x";
constexpr const char* kY = "y";
constexpr const char* kWidth = "width";
constexpr const char* kHeight = "height";
constexpr const char* kMaximized = "maximized";

// Below any value a window takes: marks a key that is missing or not a
// number.
constexpr int kMissing = INT_MIN;

int Read(const CProfileFile& ini, const char* key)
{
    // GetInt reads leading digits; a value that has none is missing.
    const std::string text = ini.GetString(WindowPlacement::kSection, key, std::string());
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-'))
        return kMissing;
    return ini.GetInt(WindowPlacement::kSection, key, kMissing);
}

bool InRange(int value)
{
    return value >= -WindowPlacement::kMaxExtent && value <= WindowPlacement::kMaxExtent;
}

} // namespace

std::optional<WindowPlacement> WindowPlacement::Load(const std::string& iniPath)
{
    const CProfileFile ini(iniPath);
    WindowPlacement placement;
    placement.width = Read(ini, kWidth);
    placement.height = Read(ini, kHeight);
    if (placement.width <= 0 || placement.height <= 0 || placement.width > kMaxExtent
        || placement.height > kMaxExtent)
        return std::nullopt;
    const int x = Read(ini, kX);
    const int y = Read(ini, kY);
    if (x != kMissing && y != kMissing && InRange(x) && InRange(y)) {
        placement.x = x;
        placement.y = y;
    }
    placement.maximized = Read(ini, kMaximized) == 1;
    return placement;
}

bool WindowPlacement::Save(const std::string& iniPath) const
{
    CProfileFile ini(iniPath);
    bool ok = ini.WriteString(kSection, kWidth, std::to_string(width))
        && ini.WriteString(kSection, kHeight, std::to_string(height))
        && ini.WriteString(kSection, kMaximized, maximized ? "1" : "0");
    if (x && y)
        ok = ok && ini.WriteString(kSection, kX, std::to_string(*x))
            && ini.WriteString(kSection, kY, std::to_string(*y));
    else
        ok = ok && ini.DeleteKey(kSection, kX) && ini.DeleteKey(kSection, kY);
    return ok;
}
