#include "isp/FtdiAddress.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/UiText.h"

namespace {

constexpr int kFtdiVendor = 0x0403;
// FT232R/FT245R, FT2232C/D/H, FT4232H, FT232H, FT-X.
constexpr int kFtdiProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};

// One to four hexadecimal digits; -1 otherwise.
int ParseId(const std::string& text)
{
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return -1;
    return int(std::strtol(text.c_str(), nullptr, 16));
}

}  // namespace

bool FtdiAddress::LooksLikeOne(const std::string& text)
{
    return text == "ftdi" || text.rfind("ftdi:", 0) == 0;
}

std::optional<FtdiAddress> FtdiAddress::Parse(const std::string& text, std::string* error)
{
    auto fail = [&](const std::string& why) -> std::optional<FtdiAddress> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (text == "ftdi")
        return FtdiAddress{};
    if (!LooksLikeOne(text))
        return fail("an FTDI cable is \"ftdi\" or \"ftdi:VID:PID[:SERIAL]\"");
    const std::string rest = text.substr(5);
    const std::size_t colon = rest.find(':');
    if (colon == std::string::npos)
        return fail("\"" + text + "\" needs both a vendor and a product id (ftdi:VID:PID)");
    const std::size_t second = rest.find(':', colon + 1);
    FtdiAddress address;
    address.vendor = ParseId(rest.substr(0, colon));
    address.product = ParseId(rest.substr(colon + 1, second == std::string::npos ? std::string::npos
                                                                                  : second - colon - 1));
    if (address.vendor <= 0 || address.product < 0)
        return fail("\"" + text + "\": the vendor and product ids are 1 to 4 hexadecimal digits,"
                    " as lsusb shows them (ftdi:0403:6001)");
    if (second != std::string::npos) {
        address.serial = rest.substr(second + 1);
        if (address.serial.empty())
            return fail("\"" + text + "\" ends in an empty serial number");
    }
    return address;
}

std::string FtdiAddress::ToString() const
{
    if (vendor == 0)
        return "ftdi";
    char ids[32];
    std::snprintf(ids, sizeof ids, "ftdi:%04x:%04x", unsigned(vendor), unsigned(product));
    return serial.empty() ? std::string(ids) : std::string(ids) + ":" + serial;
}

bool FtdiAddress::Matches(int deviceVendor, int deviceProduct, const std::string& deviceSerial) const
{
    bool ids = false;
    if (vendor == 0) {
        for (int id : kFtdiProducts)
            ids = ids || (deviceVendor == kFtdiVendor && deviceProduct == id);
    } else {
        ids = deviceVendor == vendor && deviceProduct == product;
    }
    return ids && (serial.empty() || serial == deviceSerial);
}

LinesOpenFailure FtdiAddress::Failure(const std::string& text, int error, const std::string& fix) const
{
    return {text, {ToString(), error, "FTDI", fix}};
}

LinesOpenFailure FtdiAddress::NotFound() const
{
    return Failure(ToString() + ": no such FTDI cable is plugged in (lsusb lists the USB devices;"
                       " give --port ftdi:VID:PID[:SERIAL] or set Device in the [FTDI] section of"
                       " Quenby.ini)",
                   ENODEV, Tr("请插上 FTDI 线缆, 或检查 --port 或 Quenby.ini 的 [FTDI] 节"));
}

LinesOpenFailure FtdiAddress::AccessDenied(const std::string& usbPath) const
{
    LinesOpenFailure failure =
        Failure(ToString() + " (" + usbPath + "): Permission denied (the user needs read and write"
                    " access to the cable: install 60-tamberlink.rules into"
                    " /usr/lib/udev/rules.d, then unplug and plug in the cable)",
                EACCES, Tr("请安装 60-tamberlink.rules 规则后重新插拔线缆"));
    failure.port.path = ToString() + " (" + usbPath + ")";
    return failure;
}
