#include "isp/GpioChipLookup.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/DecimalDigits.h"

namespace {

// The number of a node named gpiochipN; -1 for any other name.
long ChipNumber(const std::string& name)
{
    constexpr std::string_view prefix = "gpiochip";
    if (name.rfind(prefix, 0) != 0 || !IsDecimalDigits(std::string_view(name).substr(prefix.size())))
        return -1;
    return std::strtol(name.c_str() + prefix.size(), nullptr, 10);
}

}  // namespace

CGpioChipLookup::CGpioChipLookup(std::string deviceDir, LabelReader labelOf)
    : m_strDeviceDir(std::move(deviceDir)), m_labelOf(std::move(labelOf))
{
}

std::vector<std::string> CGpioChipLookup::ChipPaths() const
{
    std::vector<std::pair<long, std::string>> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(m_strDeviceDir, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (const long number = ChipNumber(name); number >= 0)
            found.emplace_back(number, it->path().string());
    }
    // gpiochip10 after gpiochip4, as gpiodetect lists them.
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& chip : found)
        paths.push_back(std::move(chip.second));
    return paths;
}

std::string CGpioChipLookup::ByName(const std::string& chip) const
{
    if (!chip.empty() && chip[0] == '/')
        return chip;
    if (IsDecimalDigits(chip))
        return m_strDeviceDir + "/gpiochip" + chip;
    const std::string node = m_strDeviceDir + "/" + chip;
    std::error_code error;
    if (std::filesystem::exists(node, error))
        return node;
    const char* const label[] = {chip.c_str()};
    return ByLabel(label);
}

std::string CGpioChipLookup::ByLabel(std::span<const char* const> labels) const
{
    std::vector<std::pair<std::string, std::string>> chips;  // path, label
    for (const std::string& path : ChipPaths())
        chips.emplace_back(path, m_labelOf(path));
    for (const char* label : labels)
        for (const auto& chip : chips)
            if (chip.second == label)
                return chip.first;
    return {};
}

std::string CGpioChipLookup::Find(const GpioWiring& wiring) const
{
    if (wiring.m_bHeaderChip) {
        const std::string header = ByLabel(GpioWiring::kHeaderChipLabels);
        if (!header.empty())
            return header;
    }
    return ByName(wiring.m_strChip);
}
