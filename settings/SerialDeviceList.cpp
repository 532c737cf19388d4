#include "settings/SerialDeviceList.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#ifdef TAMBERLINK_HAVE_SERIALPORT
#include <QSerialPortInfo>
#endif

std::vector<SerialDeviceInfo> CSerialDeviceList::Present()
{
    std::vector<SerialDeviceInfo> devices;
#ifdef TAMBERLINK_HAVE_SERIALPORT
    // Qt leaves out the /dev/ttyS nodes that have no UART behind them.
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        devices.push_back({port.systemLocation().toStdString(), port.description().toStdString(),
                           port.manufacturer().toStdString()});
#endif
    std::sort(devices.begin(), devices.end(),
              [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) { return a.path < b.path; });
    return WithStableNames(std::move(devices), "/dev/serial/by-id");
}

std::vector<SerialDeviceInfo> CSerialDeviceList::WithStableNames(std::vector<SerialDeviceInfo> devices,
                                                                 const std::string& byIdFolder)
{
    namespace fs = std::filesystem;
    // (where it leads, the link) in name order; a folder that is not there
    // (no USB adapter plugged in) has none.
    std::vector<std::pair<fs::path, std::string>> links;
    std::error_code error;
    for (fs::directory_iterator it(byIdFolder, error), end; !error && it != end; it.increment(error)) {
        std::error_code resolved;
        const fs::path target = fs::canonical(it->path(), resolved);
        if (!resolved)
            links.emplace_back(target, it->path().string());
    }
    std::sort(links.begin(), links.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });

    std::vector<SerialDeviceInfo> listed;
    for (const SerialDeviceInfo& device : devices) {
        listed.push_back(device);
        std::error_code resolved;
        const fs::path target = fs::canonical(device.path, resolved);
        if (resolved)
            continue;
        for (auto& [leadsTo, link] : links) {
            if (leadsTo != target || link.empty())
                continue;
            listed.push_back({link, device.description, device.manufacturer});
            link.clear();  // placed
        }
    }
    for (const auto& [leadsTo, link] : links)
        if (!link.empty())
            listed.push_back({link, {}, {}});
    return listed;
}

std::string CSerialDeviceList::Label(const SerialDeviceInfo& device)
{
    std::string label = device.path;
    if (!device.description.empty())
        label += " - " + device.description;
    if (!device.manufacturer.empty())
        label += " (" + device.manufacturer + ")";
    return label;
}
