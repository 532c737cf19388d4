#include "settings/SerialDeviceList.h"

#include <algorithm>

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
    return devices;
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
