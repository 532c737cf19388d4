#include "isp/LibFtdiBitBang.h"

#include <cerrno>

#include "platform/UiText.h"

#if TAMBERLINK_HAVE_FTDI
#include <ftdi.h>
#include <libusb.h>
#include <unistd.h>

#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#endif

#if TAMBERLINK_HAVE_FTDI

namespace {

// The device node of a USB device, where its access rights are set.
std::string UsbPath(libusb_device* device)
{
    char path[64];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03u/%03u", unsigned(libusb_get_bus_number(device)),
                  unsigned(libusb_get_device_address(device)));
    return path;
}

}  // namespace

std::unique_ptr<IFtdiBitBang> CLibFtdiBitBang::Open(const FtdiAddress& address,
                                                    const FtdiWiring& wiring,
                                                    LinesOpenFailure& failure)
{
    std::unique_ptr<CLibFtdiBitBang> cable(new CLibFtdiBitBang());
    cable->m_strName = address.ToString();
    cable->m_pContext = ftdi_new();
    if (!cable->m_pContext) {
        failure = address.Failure(cable->m_strName + ": libftdi could not start", ENOMEM);
        return nullptr;
    }
    ftdi_context* ctx = cable->m_pContext;
    ftdi_set_interface(ctx, INTERFACE_A);
    // The serial driver lets go of the chip while it is ours and gets it
    // back afterwards, so /dev/ttyUSBn returns without a replug.
    ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;

    // The ids to look for; 0 and 0 make libftdi look for FTDI's own.
    ftdi_device_list* list = nullptr;
    if (ftdi_usb_find_all(ctx, &list, address.vendor, address.product) < 0) {
        failure = address.Failure(cable->m_strName + ": " + ftdi_get_error_string(ctx), EIO);
        return nullptr;
    }
    libusb_device* found = nullptr;
    // A cable whose serial number could not be read for want of access:
    // if none matches, that is the likelier answer than "not plugged in".
    std::string deniedPath;
    for (ftdi_device_list* item = list; item && !found; item = item->next) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(item->dev, &descriptor) != 0)
            continue;
        char serial[128] = "";
        if (!address.serial.empty()
            && ftdi_usb_get_strings2(ctx, item->dev, nullptr, 0, nullptr, 0, serial, sizeof serial)
                < 0
            && deniedPath.empty()) {
            const std::string path = UsbPath(item->dev);
            if (::access(path.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
                deniedPath = path;
        }
        if (address.Matches(descriptor.idVendor, descriptor.idProduct, serial))
            found = item->dev;
    }
    if (!found) {
        ftdi_list_free(&list);
        failure = deniedPath.empty() ? address.NotFound() : address.AccessDenied(deniedPath);
        return nullptr;
    }
    const std::string usbPath = UsbPath(found);
    const int opened = ftdi_usb_open_dev(ctx, found);
    ftdi_list_free(&list);
    if (opened < 0) {
        // libftdi does not say why libusb refused; the device node does.
        if (::access(usbPath.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
            failure = address.AccessDenied(usbPath);
        else if (opened == -5)
            failure = address.Failure(cable->m_strName + " (" + usbPath
                                          + "): the cable is in use (another program holds it)",
                                      EBUSY, Tr("另一个程序正在使用该线缆"));
        else
            failure = address.Failure(
                cable->m_strName + " (" + usbPath + "): " + ftdi_get_error_string(ctx), EIO);
        return nullptr;
    }
    cable->m_bOpen = true;
    cable->m_byRst = std::uint8_t(1u << wiring.m_nRst);
    // The rate's limit depends on the chip, known only now.
    const bool high = ctx->type == TYPE_2232H || ctx->type == TYPE_4232H || ctx->type == TYPE_232H;
    cable->m_kind = high ? FtdiChipKind::FT232H : FtdiChipKind::FT232R;
    std::string problem, fix;
    cable->m_nBaud =
        FtdiRate::Choose(cable->m_kind, wiring.m_nBaud, wiring.m_dCrystalHz, &problem, &fix);
    if (cable->m_nBaud <= 0) {
        failure = address.Failure(cable->m_strName + ": " + problem, EINVAL, fix);
        return nullptr;
    }
    // Samples come back as soon as a frame's worth is there, not after the
    // default 16 ms. The mode before the rate: libftdi multiplies a rate by
    // 4 only in bit-bang mode, which the chip's bit-bang clock needs. A read
    // ends when its USB transfer is full or the stream pauses: transfers of
    // a few packets, not libftdi's 4 KB, let each exchange's samples be
    // taken while the exchanges after it are still being clocked.
    const unsigned packet = std::max(ctx->max_packet_size, 64u);
    const unsigned chunk = (kReadChunk + packet - 1) / packet * packet;
    if (ftdi_set_latency_timer(ctx, 1) < 0
        || ftdi_set_bitmode(ctx, wiring.OutputMask(), BITMODE_SYNCBB) < 0
        || ftdi_set_baudrate(ctx, cable->m_nBaud) < 0 || ftdi_tcioflush(ctx) < 0
        || ftdi_read_data_set_chunksize(ctx, chunk) < 0) {
        failure = address.Failure(cable->m_strName + ": " + ftdi_get_error_string(ctx), EIO);
        return nullptr;
    }
    return cable;
}

CLibFtdiBitBang::~CLibFtdiBitBang()
{
    if (m_bOpen) {
        CancelAll();
        // The samples of cancelled exchanges may fill the chip's buffer, and
        // in synchronous mode it clocks nothing more until they are read:
        // purged, RST's byte goes out. RST low first, the other lines as
        // they were, then every line but RST an input. Failures are not
        // reported: nobody is left to hear.
        ftdi_tcioflush(m_pContext);
        const std::uint8_t low = std::uint8_t(m_byLast & ~m_byRst);
        ftdi_write_data(m_pContext, &low, 1);
        ftdi_set_bitmode(m_pContext, m_byRst, BITMODE_SYNCBB);
        ftdi_usb_close(m_pContext);
    }
    if (m_pContext)
        ftdi_free(m_pContext);
}

void CLibFtdiBitBang::Fail(const std::string& what)
{
    m_strError = m_strName + ": " + what;
}

bool CLibFtdiBitBang::Submit(const std::uint8_t* data, int size)
{
    Exchange& exchange = m_exchanges.emplace_back();
    exchange.out.assign(data, data + size);
    exchange.in.resize(std::size_t(size));
    exchange.write = ftdi_write_data_submit(m_pContext, exchange.out.data(), size);
    if (!exchange.write) {
        Fail("USB write failed: it could not be started");
        CancelAll();
        return false;
    }
    if (size > 0)
        m_byLast = data[size - 1];
    return StartRead();
}

bool CLibFtdiBitBang::StartRead()
{
    if (m_exchanges.empty() || m_exchanges.front().read)
        return true;
    Exchange& oldest = m_exchanges.front();
    oldest.read = ftdi_read_data_submit(m_pContext, oldest.in.data(), int(oldest.in.size()));
    if (oldest.read)
        return true;
    Fail("USB read failed: it could not be started");
    CancelAll();
    return false;
}

int CLibFtdiBitBang::Finish(ftdi_transfer_control* transfer,
                            std::chrono::steady_clock::time_point deadline, bool& timedOut)
{
    using namespace std::chrono;
    // What a cancelled transfer is given to come back from the kernel.
    timeval grace{0, 100000};
    while (!transfer->completed) {
        const auto left = ceil<microseconds>(deadline - steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            ftdi_transfer_data_cancel(transfer, &grace);
            return -1;
        }
        const auto slice = std::min<microseconds>(left, milliseconds(100));
        timeval wait{time_t(slice.count() / 1000000), suseconds_t(slice.count() % 1000000)};
        const int handled = libusb_handle_events_timeout_completed(m_pContext->usb_ctx, &wait,
                                                                   &transfer->completed);
        if (handled < 0 && handled != LIBUSB_ERROR_INTERRUPTED) {
            ftdi_transfer_data_cancel(transfer, &grace);
            return -1;
        }
    }
    return ftdi_transfer_data_done(transfer);
}

bool CLibFtdiBitBang::Collect(std::uint8_t* samples, int size, std::chrono::milliseconds timeout)
{
    if (m_exchanges.empty() || m_exchanges.front().in.size() != std::size_t(size)) {
        Fail("USB read failed: no such exchange in flight");
        CancelAll();
        return false;
    }
    Exchange& oldest = m_exchanges.front();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool timedOut = false;
    const int written = Finish(oldest.write, deadline, timedOut);
    oldest.write = nullptr;
    int got = -1;
    if (written == size) {
        got = Finish(oldest.read, deadline, timedOut);
        oldest.read = nullptr;
    }
    if (got != size) {
        Fail(timedOut ? "the cable sent no samples back within " + std::to_string(timeout.count())
                     + " ms"
             : written != size ? std::string("USB write failed")
                               : std::string("USB read failed"));
        CancelAll();
        return false;
    }
    std::copy(oldest.in.begin(), oldest.in.end(), samples);
    m_exchanges.pop_front();
    return StartRead();
}

bool CLibFtdiBitBang::SetOutputs(std::uint8_t mask)
{
    // The request would overtake bytes the chip has not clocked yet.
    if (!m_exchanges.empty()) {
        Fail("the lines' directions cannot change while exchanges are in flight");
        return false;
    }
    if (ftdi_set_bitmode(m_pContext, mask, BITMODE_SYNCBB) < 0) {
        Fail(std::string("USB control request failed: ") + ftdi_get_error_string(m_pContext));
        return false;
    }
    return true;
}

void CLibFtdiBitBang::CancelAll()
{
    timeval grace{0, 100000};
    for (Exchange& exchange : m_exchanges) {
        if (exchange.read)
            ftdi_transfer_data_cancel(exchange.read, &grace);
        if (exchange.write)
            ftdi_transfer_data_cancel(exchange.write, &grace);
    }
    m_exchanges.clear();
}

#else

std::unique_ptr<IFtdiBitBang> CLibFtdiBitBang::Open(const FtdiAddress& address, const FtdiWiring&,
                                                    LinesOpenFailure& failure)
{
    failure = address.Failure(address.ToString() + ": this build of Tamberlink has no FTDI"
                                  " support (it needs libftdi1, Debian package libftdi1-dev,"
                                  " when it is built)",
                              ENOSYS, Tr("此程序编译时没有 libftdi1, 不支持 FTDI 线缆"));
    return nullptr;
}

CLibFtdiBitBang::~CLibFtdiBitBang() = default;

void CLibFtdiBitBang::Fail(const std::string&) {}

bool CLibFtdiBitBang::Submit(const std::uint8_t*, int)
{
    return false;
}

bool CLibFtdiBitBang::Collect(std::uint8_t*, int, std::chrono::milliseconds)
{
    return false;
}

bool CLibFtdiBitBang::SetOutputs(std::uint8_t)
{
    return false;
}

#endif
