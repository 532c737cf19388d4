// libftdi1's calls as the wrapper makes them (and libusb's descriptor and
// address calls), on the fake bus.
#include "tests/libftdi/FakeLibFtdi.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

struct libusb_device {
    FakeFtdiChip* chip = nullptr;
};

namespace {

CFakeFtdiBus& Bus()
{
    return CFakeFtdiBus::Get();
}

// The chip each open context talks to, and each chip's libusb device.
std::map<const ftdi_context*, FakeFtdiChip*> g_sessions;
std::map<const FakeFtdiChip*, libusb_device> g_devices;

int Error(ftdi_context* ftdi, int code, const char* text)
{
    ftdi->error_str = text;
    return code;
}

FakeFtdiChip* Session(ftdi_context* ftdi)
{
    const auto found = g_sessions.find(ftdi);
    return found == g_sessions.end() ? nullptr : found->second;
}

const int kOwnProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};

// The asynchronous transfers in flight, in the order they were submitted.
struct Transfer {
    ftdi_transfer_control* control;
    FakeFtdiChip* chip;
    bool write;
    bool failed;
};
std::vector<Transfer> g_transfers;

Transfer* Find(const ftdi_transfer_control* control)
{
    for (Transfer& transfer : g_transfers)
        if (transfer.control == control)
            return &transfer;
    return nullptr;
}

// The oldest unfinished transfer of one direction on chip.
Transfer* Oldest(const FakeFtdiChip& chip, bool write)
{
    for (Transfer& transfer : g_transfers)
        if (transfer.chip == &chip && transfer.write == write && !transfer.control->completed)
            return &transfer;
    return nullptr;
}

ftdi_transfer_control* Start(ftdi_context* ftdi, unsigned char* buf, int size, bool write)
{
    FakeFtdiChip* chip = Session(ftdi);
    if (!chip || chip->gone)
        return nullptr;
    chip->calls.push_back(std::string(write ? "submit write " : "submit read ")
                          + std::to_string(size));
    auto* control = new ftdi_transfer_control{};
    control->ftdi = ftdi;
    control->buf = buf;
    control->size = size;
    g_transfers.push_back({control, chip, write, false});
    ++Bus().m_nLive;
    ++Bus().m_nTransfers;
    return control;
}

void Forget(ftdi_transfer_control* control)
{
    g_transfers.erase(std::find_if(g_transfers.begin(), g_transfers.end(),
                                   [&](const Transfer& t) { return t.control == control; }));
    delete control;
    --Bus().m_nLive;
    --Bus().m_nTransfers;
}

// Moves what can move: the chips' clocks, the oldest write of each chip
// into its transmit buffer, samples to its oldest read. true when anything
// moved.
bool Pump()
{
    bool any = false;
    for (bool moved = true; moved; any = any || moved) {
        moved = false;
        for (auto& plugged : Bus().m_chips) {
            FakeFtdiChip& chip = *plugged;
            const long clocked = chip.clocked;
            chip.Clock();
            moved = moved || chip.clocked != clocked;
            for (bool write : {true, false}) {
                Transfer* transfer = Oldest(chip, write);
                if (!transfer)
                    continue;
                ftdi_transfer_control& control = *transfer->control;
                for (; !chip.gone && control.offset < control.size; ++control.offset, moved = true) {
                    if (write && chip.held.size() < chip.TxBuffer()) {
                        chip.held.push_back(control.buf[control.offset]);
                    } else if (!write && !chip.samples.empty()) {
                        control.buf[control.offset] = chip.samples.front();
                        chip.samples.pop_front();
                    } else {
                        break;
                    }
                }
                if (chip.gone || control.offset == control.size) {
                    transfer->failed = chip.gone;
                    control.completed = 1;
                    moved = true;
                }
            }
        }
    }
    return any;
}

}  // namespace

std::uint8_t FakeFtdiChip::Pins() const
{
    const std::uint8_t driven = std::uint8_t(latch & outputs);
    const std::uint8_t outside = circuit ? circuit(driven) : 0xFF;
    return std::uint8_t(driven | (outside & ~outputs));
}

void FakeFtdiChip::Clock()
{
    while (!frozen && !held.empty() && (mode != BITMODE_SYNCBB || samples.size() < RxBuffer())) {
        if (mode == BITMODE_SYNCBB)
            samples.push_back(Pins());
        if (mode != BITMODE_RESET)
            latch = held.front();
        held.pop_front();
        ++clocked;
    }
}

int FakeFtdiChip::CallAt(const std::string& prefix) const
{
    for (std::size_t i = 0; i < calls.size(); ++i)
        if (calls[i].rfind(prefix, 0) == 0)
            return int(i);
    return -1;
}

CFakeFtdiBus& CFakeFtdiBus::Get()
{
    static CFakeFtdiBus bus;
    return bus;
}

void CFakeFtdiBus::Reset()
{
    m_chips.clear();
    for (const Transfer& transfer : g_transfers)
        delete transfer.control;
    g_transfers.clear();
    m_nTransfers = 0;
    g_sessions.clear();
    g_devices.clear();
    m_nLive = 0;
}

FakeFtdiChip& CFakeFtdiBus::Plug()
{
    m_chips.push_back(std::make_unique<FakeFtdiChip>());
    g_devices[m_chips.back().get()].chip = m_chips.back().get();
    return *m_chips.back();
}

extern "C" {

ftdi_context* ftdi_new(void)
{
    ++Bus().m_nLive;
    auto* ftdi = new ftdi_context{};
    ftdi->interface = 0;
    ftdi->index = INTERFACE_A;
    ftdi->module_detach_mode = AUTO_DETACH_SIO_MODULE;
    return ftdi;
}

void ftdi_free(ftdi_context* ftdi)
{
    g_sessions.erase(ftdi);
    delete ftdi;
    --Bus().m_nLive;
}

int ftdi_set_interface(ftdi_context* ftdi, enum ftdi_interface interface)
{
    ftdi->index = interface == INTERFACE_ANY ? INTERFACE_A : interface;
    return 0;
}

const char* ftdi_get_error_string(ftdi_context* ftdi)
{
    return ftdi->error_str ? ftdi->error_str : "";
}

int ftdi_usb_find_all(ftdi_context* ftdi, ftdi_device_list** devlist, int vendor, int product)
{
    *devlist = nullptr;
    ftdi_device_list** tail = devlist;
    int count = 0;
    for (auto& chip : Bus().m_chips) {
        const bool own = std::find(std::begin(kOwnProducts), std::end(kOwnProducts), chip->product)
            != std::end(kOwnProducts);
        const bool wanted = vendor == 0 && product == 0
            ? chip->vendor == 0x0403 && own
            : chip->vendor == vendor && chip->product == product;
        if (!wanted)
            continue;
        ++Bus().m_nLive;
        *tail = new ftdi_device_list{nullptr, &g_devices[chip.get()]};
        tail = &(*tail)->next;
        ++count;
    }
    return Error(ftdi, count, "");
}

void ftdi_list_free(ftdi_device_list** devlist)
{
    while (*devlist) {
        ftdi_device_list* next = (*devlist)->next;
        delete *devlist;
        --Bus().m_nLive;
        *devlist = next;
    }
}

int ftdi_usb_get_strings2(ftdi_context*, libusb_device* dev, char*, int, char*, int, char* serial,
                          int serial_len)
{
    if (serial && serial_len > 0) {
        const std::string& text = dev->chip->serial;
        const std::size_t n = std::min(text.size(), std::size_t(serial_len - 1));
        text.copy(serial, n);
        serial[n] = '\0';
    }
    return 0;
}

int ftdi_usb_open_dev(ftdi_context* ftdi, libusb_device* dev)
{
    FakeFtdiChip& chip = *dev->chip;
    if (chip.claimed || chip.open)
        return Error(ftdi, -5,
                     "unable to claim usb device. Make sure the default FTDI driver is not in use");
    chip.open = true;
    g_sessions[ftdi] = &chip;
    ftdi->usb_dev = reinterpret_cast<libusb_device_handle*>(&chip);
    ftdi->type = chip.highSpeed ? TYPE_232H : TYPE_R;
    ftdi->max_packet_size = chip.highSpeed ? 512 : 64;
    ftdi->readbuffer_chunksize = 4096;
    ftdi->bitbang_enabled = 0;
    // libftdi resets the chip's buffers and sets 9600 baud on every open.
    chip.samples.clear();
    chip.held.clear();
    chip.baudGenerator = 9600;
    return Error(ftdi, 0, "all fine");
}

int ftdi_usb_close(ftdi_context* ftdi)
{
    FakeFtdiChip* chip = Session(ftdi);
    if (!chip)
        return Error(ftdi, -3, "ftdi context invalid");
    chip->calls.push_back("close");
    for (const Transfer& transfer : g_transfers)
        if (transfer.control->ftdi == ftdi)
            chip->misuse.push_back("closed with transfers in flight");
    chip->open = false;
    g_sessions.erase(ftdi);
    ftdi->usb_dev = nullptr;
    return 0;
}

int ftdi_set_latency_timer(ftdi_context* ftdi, unsigned char latency)
{
    FakeFtdiChip* chip = Session(ftdi);
    if (!chip)
        return Error(ftdi, -3, "USB device unavailable");
    chip->calls.push_back("latency " + std::to_string(latency));
    return 0;
}

int ftdi_set_bitmode(ftdi_context* ftdi, unsigned char bitmask, unsigned char mode)
{
    FakeFtdiChip* chip = Session(ftdi);
    if (!chip)
        return Error(ftdi, -2, "USB device unavailable");
    if (chip->gone || (mode == BITMODE_SYNCBB && !chip->bitBang))
        return Error(ftdi, -1, "unable to configure bitbang mode. Perhaps not a BM/2232C type chip?");
    chip->calls.push_back("bitmode " + std::to_string(bitmask) + " " + std::to_string(mode));
    chip->mode = mode;
    chip->outputs = mode == BITMODE_RESET ? 0 : bitmask;
    ftdi->bitbang_mode = mode;
    ftdi->bitbang_enabled = mode == BITMODE_RESET ? 0 : 1;
    return 0;
}

int ftdi_set_baudrate(ftdi_context* ftdi, int baudrate)
{
    FakeFtdiChip* chip = Session(ftdi);
    if (!chip)
        return Error(ftdi, -3, "USB device unavailable");
    if (ftdi->bitbang_enabled)
        baudrate *= FakeFtdiChip::kBitBangScale;
    if (baudrate <= 0)
        return Error(ftdi, -1, "Silly baudrate <= 0.");
    chip->calls.push_back("baud " + std::to_string(baudrate));
    chip->baudGenerator = baudrate;
    ftdi->baudrate = baudrate;
    return 0;
}

int ftdi_read_data_set_chunksize(ftdi_context* ftdi, unsigned int chunksize)
{
    if (FakeFtdiChip* chip = Session(ftdi))
        chip->calls.push_back("read chunk " + std::to_string(chunksize));
    ftdi->readbuffer_chunksize = chunksize;
    return 0;
}

int ftdi_tcioflush(ftdi_context* ftdi)
{
    FakeFtdiChip* chip = Session(ftdi);
    if (!chip)
        return Error(ftdi, -3, "USB device unavailable");
    chip->calls.push_back("flush");
    chip->samples.clear();
    chip->held.clear();
    return 0;
}

int ftdi_write_data(ftdi_context* ftdi, const unsigned char* buf, int size)
{
    FakeFtdiChip* chip = Session(ftdi);
    if (!chip)
        return Error(ftdi, -666, "USB device unavailable");
    chip->calls.push_back("write " + std::to_string(size));
    for (int i = 0; i < size; ++i) {
        chip->Clock();
        // A chip that takes nothing more times the write out.
        if (chip->gone || chip->held.size() >= chip->TxBuffer())
            return Error(ftdi, -1, "usb bulk write failed");
        chip->held.push_back(buf[i]);
    }
    chip->Clock();
    return size;
}

int ftdi_read_data(ftdi_context* ftdi, unsigned char* buf, int size)
{
    FakeFtdiChip* chip = Session(ftdi);
    if (!chip)
        return Error(ftdi, -666, "USB device unavailable");
    const int n = std::min(size, int(chip->samples.size()));
    std::copy_n(chip->samples.begin(), n, buf);
    chip->samples.erase(chip->samples.begin(), chip->samples.begin() + n);
    chip->Clock();
    return n;
}

ftdi_transfer_control* ftdi_write_data_submit(ftdi_context* ftdi, unsigned char* buf, int size)
{
    return Start(ftdi, buf, size, true);
}

ftdi_transfer_control* ftdi_read_data_submit(ftdi_context* ftdi, unsigned char* buf, int size)
{
    FakeFtdiChip* chip = Session(ftdi);
    if (chip && Oldest(*chip, false))
        chip->misuse.push_back("a second read in flight");
    return Start(ftdi, buf, size, false);
}

int ftdi_transfer_data_done(ftdi_transfer_control* tc)
{
    const Transfer* transfer = Find(tc);
    if (!transfer)
        return -1;
    if (!tc->completed)
        Pump();
    int result = transfer->failed ? -1 : tc->offset;
    if (!tc->completed) {
        transfer->chip->misuse.push_back("waited for a transfer that cannot finish");
        result = -1;
    }
    Forget(tc);
    return result;
}

void ftdi_transfer_data_cancel(ftdi_transfer_control* tc, struct timeval*)
{
    if (const Transfer* transfer = Find(tc)) {
        transfer->chip->calls.push_back("cancel");
        Forget(tc);
    }
}

int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context*, struct timeval* tv,
                                                       int* completed)
{
    if (completed && *completed)
        return 0;
    if (!Pump() && !(completed && *completed)) {
        // Nothing can move: the real call sleeps until tv runs out.
        const auto wait = std::chrono::seconds(tv->tv_sec) + std::chrono::microseconds(tv->tv_usec);
        std::this_thread::sleep_for(std::min<std::chrono::microseconds>(
            std::chrono::duration_cast<std::chrono::microseconds>(wait),
            std::chrono::milliseconds(2)));
    }
    return 0;
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* dev, libusb_device_descriptor* desc)
{
    *desc = {};
    desc->idVendor = std::uint16_t(dev->chip->vendor);
    desc->idProduct = std::uint16_t(dev->chip->product);
    return 0;
}

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device* dev)
{
    return std::uint8_t(dev->chip->bus);
}

uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* dev)
{
    return std::uint8_t(dev->chip->address);
}

}  // extern "C"
