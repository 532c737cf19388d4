#include "programmer/Programmer.h"

#include <algorithm>
#include <cstring>

#include "platform/AppGlobals.h"
#include "programmer/BackendTable.h"
#include "programmer/DeviceCatalogue.h"
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
    SetCatalogue({});
    std::memset(m_storage.get(), 0xFF, 2 * std::size_t(kBufferSize));
}

CProgrammer::~CProgrammer()
{
    // Backends first: their workers use the buffers and the catalogue.
    m_backends.clear();
}

int CProgrammer::SlotOf(int progType) const
{
    if (m_pBackends)
        return m_pBackends->SlotOf(progType);
    return progType == 0 ? 0 : progType >= 1 && progType <= 3 ? 1 : -1;
}

int CProgrammer::SelectBackend(int progType, int ispSetting)
{
    m_nProgType = progType;
    const int slot = SlotOf(progType);
    if (slot < 0)
        return 0;
    // The old backend goes before the new one opens: its threads stop and
    // its port is free again.
    m_backends.erase(slot);
    return m_pBackends ? m_pBackends->Open(*this, progType, ispSetting) : 0;
}

void CProgrammer::SetBackend(int progType, std::unique_ptr<IDeviceBackend> backend)
{
    m_nProgType = progType;
    const int slot = SlotOf(progType);
    if (slot < 0)
        return;  // no slot for this type: the backend is dropped
    // The old one is destroyed before the new one takes its place.
    m_backends.erase(slot);
    if (backend)
        m_backends.emplace(slot, std::move(backend));
}

IDeviceBackend* CProgrammer::Backend() const
{
    const auto found = m_backends.find(SlotOf(m_nProgType));
    return found == m_backends.end() ? nullptr : found->second.get();
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
    LoadCatalogue(CataloguePath());
}

void CProgrammer::LoadCatalogue(const std::string& path)
{
    // A missing catalogue is not an error: the device list stays empty.
    auto devices = ReadCatalogueFile(path);
    SetCatalogue(devices ? std::move(*devices) : std::vector<DeviceRecord>{});
}

void CProgrammer::SetCatalogue(std::vector<DeviceRecord> devices)
{
    m_catalogues.push_back(std::make_unique<const std::vector<DeviceRecord>>(std::move(devices)));
    m_pDevices = m_catalogues.back().get();
}

const DeviceRecord* CProgrammer::SelectDevice(int index)
{
    const std::vector<DeviceRecord>& devices = Devices();
    if (index < 0)
        index = 0;
    if (std::size_t(index) >= devices.size())
        return nullptr;
    m_nCurDevice = index;
    return &devices[std::size_t(index)];
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

std::uint16_t CProgrammer::Checksum(const std::uint8_t* buffer, int romBytes)
{
    const int size = std::clamp(romBytes, 0, kBufferSize);
    std::uint32_t sum = 0;
    for (int i = 0; i < size; ++i)
        sum += buffer[i];
    return std::uint16_t(sum);
}

int CProgrammer::FirstNonBlank(const std::uint8_t* buffer, int romBytes)
{
    const int size = std::clamp(romBytes, 0, kBufferSize);
    const std::uint8_t* end = buffer + size;
    const std::uint8_t* found =
        std::find_if(buffer, end, [](std::uint8_t byte) { return byte != 0xFF; });
    return found == end ? -1 : int(found - buffer);
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
    const std::vector<DeviceRecord>& devices = Devices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].signature == signature) {
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
