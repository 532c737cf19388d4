#include "programmer/Programmer.h"

#include <algorithm>
#include <cstring>

#include "isp/IspProgrammer.h"
#include "platform/AppGlobals.h"
#include "programmer/DeviceCatalogue.h"
#include "programmer/SerialProgrammer.h"
#include "programmer/StatusCode.h"
#include "programmer/StatusSink.h"

namespace {

// Compared against the buffer's tail in blocks: trimming a full, mostly
// empty image should not cost a byte-by-byte loop.
constexpr std::size_t kBlankBlockSize = 512;

const std::uint8_t* BlankBlock()
{
    static const auto block = [] {
        std::array<std::uint8_t, kBlankBlockSize> b;
        b.fill(0xFF);
        return b;
    }();
    return block.data();
}

}  // namespace

CProgrammer::CProgrammer(IStatusSink& sink, IMessageSink& messages)
    : m_storage(std::make_unique_for_overwrite<std::uint8_t[]>(2 * std::size_t(kBufferSize)))
    , Buffer1(m_storage.get())
    , Buffer2(m_storage.get() + kBufferSize)
    , m_sink(sink)
    , m_messages(messages)
{
    std::memset(m_storage.get(), 0xFF, 2 * std::size_t(kBufferSize));
}

CProgrammer::~CProgrammer()
{
    // Backends first: their workers use the buffers and the catalogue.
    m_pIsp.reset();
    m_pSerial.reset();
}

int CProgrammer::SelectBackend(int progType, int ispSetting)
{
    m_nProgType = progType;
    if (progType == 0) {
        // Destroying the old backend stops its monitor thread.
        m_pSerial.reset();
        auto serial = std::make_unique<CSerialProgrammer>(*this);
        CSerialProgrammer* backend = serial.get();
        m_pSerial = std::move(serial);
        // Any other selector leaves the backend unconnected and silent; every
        // operation then reports the port as not initialised.
        if (m_nBaudSel == 0)
            return backend->Connect(this, m_nComPort, 115200);
        if (m_nBaudSel == 1)
            return backend->Connect(this, m_nComPort, 57600);
        return 0;
    }
    if (progType >= 1 && progType <= 3) {
        m_pIsp.reset();
        auto isp = std::make_unique<CIspProgrammer>(Messages());
        CIspProgrammer* backend = isp.get();
        m_pIsp = std::move(isp);
        return backend->Init(this, kDefaultParallelBase, progType, ispSetting);
    }
    return 0;
}

void CProgrammer::SetBackend(int progType, std::unique_ptr<IDeviceBackend> backend)
{
    m_nProgType = progType;
    if (progType == 0)
        m_pSerial = std::move(backend);
    else if (progType >= 1 && progType <= 3)
        m_pIsp = std::move(backend);
    // Any other type has no backend slot: the backend is dropped.
}

IDeviceBackend* CProgrammer::Backend() const
{
    if (m_nProgType == 0)
        return m_pSerial.get();
    if (m_nProgType >= 1 && m_nProgType <= 3)
        return m_pIsp.get();
    return nullptr;
}

void CProgrammer::PostStatus(int code)
{
    m_sink.PostStatus(code);
}

void CProgrammer::SelectDeviceEntry(int index)
{
    m_sink.SelectDeviceEntry(index);
}

const DeviceRecord* CProgrammer::RecordForOperation(int index)
{
    const DeviceRecord* record = SelectDevice(index);
    if (!record)
        PostStatus(kStatusInvalidOperation);
    return record;
}

void CProgrammer::CheckReady(int index)
{
    if (IDeviceBackend* backend = Backend())
        if (const DeviceRecord* record = RecordForOperation(index))
            backend->CheckReady(record->deviceCode);
}

void CProgrammer::DetectDevice(int index)
{
    if (IDeviceBackend* backend = Backend())
        if (const DeviceRecord* record = RecordForOperation(index))
            backend->DetectDevice(record->deviceCode);
}

void CProgrammer::EraseDevice(int index)
{
    if (IDeviceBackend* backend = Backend())
        if (const DeviceRecord* record = RecordForOperation(index))
            backend->EraseDevice(record->deviceCode);
}

void CProgrammer::WriteDevice(int index)
{
    if (IDeviceBackend* backend = Backend())
        if (const DeviceRecord* record = RecordForOperation(index))
            backend->WriteDevice(record->deviceCode);
}

void CProgrammer::ReadDevice(int index)
{
    if (IDeviceBackend* backend = Backend())
        if (const DeviceRecord* record = RecordForOperation(index)) {
            // Whatever the read does not reach must not show old data.
            std::memset(Buffer2, 0xFF, kBufferSize);
            backend->ReadDevice(record->deviceCode);
        }
}

void CProgrammer::LockDevice(int index, int level)
{
    if (IDeviceBackend* backend = Backend())
        if (const DeviceRecord* record = RecordForOperation(index))
            backend->LockDevice(record->deviceCode, level);
}

void CProgrammer::LoadCatalogue()
{
    LoadCatalogue(g_strAppDir + "ChipList.chip");
}

void CProgrammer::LoadCatalogue(const std::string& path)
{
    // A missing catalogue is not an error: the device list stays empty.
    auto devices = ReadCatalogueFile(path);
    m_Devices = devices ? std::move(*devices) : std::vector<DeviceRecord>{};
}

void CProgrammer::SetCatalogue(std::vector<DeviceRecord> devices)
{
    m_Devices = std::move(devices);
}

const DeviceRecord* CProgrammer::SelectDevice(int index)
{
    if (index < 0)
        index = 0;
    if (std::size_t(index) >= m_Devices.size())
        return nullptr;
    m_nCurDevice = index;
    return &m_Devices[std::size_t(index)];
}

const DeviceRecord* CProgrammer::CurrentDevice()
{
    return SelectDevice(m_nCurDevice);
}

int CProgrammer::CurrentRomBytes()
{
    const DeviceRecord* device = CurrentDevice();
    if (!device)
        return 0;
    // 64-bit: a corrupt size must neither overflow nor reach past the buffers.
    const std::int64_t bytes = std::int64_t(device->romSizeKB) * 1024;
    return int(std::clamp<std::int64_t>(bytes, 0, kBufferSize));
}

int CProgrammer::TrimLength(const std::uint8_t* buffer, int size)
{
    std::size_t length = buffer ? std::size_t(std::clamp(size, 0, kBufferSize)) : 0;
    const std::uint8_t* blank = BlankBlock();
    while (length >= kBlankBlockSize
           && std::memcmp(buffer + length - kBlankBlockSize, blank, kBlankBlockSize) == 0)
        length -= kBlankBlockSize;
    while (length > 0 && buffer[length - 1] == 0xFF)
        --length;

    int result = int(length);
    if (CurrentDevice())
        result = std::min(result, CurrentRomBytes());
    m_nLength = result;
    return result;
}

int CProgrammer::MatchSignature()
{
    const std::array<std::uint8_t, 3> signature = Signature();
    for (std::size_t i = 0; i < m_Devices.size(); ++i) {
        if (m_Devices[i].signature == signature) {
            m_nCurDevice = int(i);
            // The device list must show the match before 19 is handled,
            // since that handler prints the current device.
            SelectDeviceEntry(int(i));
            PostStatus(kStatusDeviceDetected);
            return 1;
        }
    }
    PostStatus(kStatusNoDevice);
    return 0;
}

void CProgrammer::SetSignature(const std::array<std::uint8_t, 3>& signature)
{
    m_Signature = std::uint32_t(signature[0]) | std::uint32_t(signature[1]) << 8
        | std::uint32_t(signature[2]) << 16;
}

std::array<std::uint8_t, 3> CProgrammer::Signature() const
{
    const std::uint32_t packed = m_Signature;
    return {std::uint8_t(packed), std::uint8_t(packed >> 8), std::uint8_t(packed >> 16)};
}
