// The catalogue loader on arbitrary file contents: it never reads past the
// data, never makes more records than the bytes hold or the count claims,
// takes every field from its offset, and what it makes survives our own
// writer. The controller then keeps every transfer length inside its
// buffers, whatever size a record claims.

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/CountingMessageSink.h"
#include "fuzz/FuzzCheck.h"
#include "platform/TextCodec.h"
#include "programmer/DeviceCatalogue.h"
#include "programmer/Programmer.h"
#include "programmer/StatusSink.h"

namespace {

std::uint32_t U32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
        | std::uint32_t(p[3]) << 24;
}

// Drops what is posted: one controller serves every input and nothing here
// waits for its events.
class CDroppingSink : public IStatusSink {
public:
    void PostStatus(int) override {}
    void SelectDeviceEntry(int) override {}
};

CProgrammer& Controller()
{
    static CDroppingSink sink;
    static CCountingMessageSink messages;
    static CProgrammer programmer(sink, messages);
    return programmer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of exactly the input's size: any read past it is seen.
    std::vector<std::uint8_t> bytes(data, data + size);
    const std::vector<DeviceRecord> records = ParseCatalogue(std::span(bytes.data(), bytes.size()));

    if (size < kCatalogueHeaderSize) {
        FUZZ_CHECK(records.empty(), "records from a file shorter than its header");
        return 0;
    }
    const auto count = static_cast<std::int32_t>(U32(bytes.data() + 4));
    const std::size_t present = (size - kCatalogueHeaderSize) / kDeviceRecordSize;
    const std::size_t expected = count <= 0 ? 0 : std::min<std::size_t>(std::size_t(count), present);
    FUZZ_CHECK(records.size() == expected, "record count is not min(count, whole records present)");

    for (std::size_t i = 0; i < records.size(); ++i) {
        const DeviceRecord& r = records[i];
        const std::uint8_t* p = bytes.data() + kCatalogueHeaderSize + i * kDeviceRecordSize;
        FUZZ_CHECK(r.deviceCode == p[20], "device code not taken from offset 20");
        FUZZ_CHECK(std::uint32_t(r.romSizeKB) == U32(p + 24), "ROM size not taken from offset 24");
        std::uint32_t voltage = 0;
        std::memcpy(&voltage, &r.programVoltage, sizeof voltage);
        FUZZ_CHECK(voltage == U32(p + 28), "voltage bits not taken from offset 28");
        FUZZ_CHECK(r.signature[0] == p[32] && r.signature[1] == p[33] && r.signature[2] == p[34],
                   "signature not taken from offset 32");
        FUZZ_CHECK(IsValidUtf8(r.name), "a name that is not UTF-8");
        FUZZ_CHECK(r.name.find('\0') == std::string::npos, "a name runs past its NUL");
        // A GBK name of 20 bytes decodes to at most 3 bytes per 2.
        FUZZ_CHECK(r.name.size() <= 3 * kDeviceNameSize, "a name longer than its field allows");
    }

    // Our writer keeps every field; names it had to shorten are the only
    // difference.
    const std::vector<std::uint8_t> written = SerializeCatalogue(records);
    FUZZ_CHECK(written.size() == kCatalogueHeaderSize + records.size() * kDeviceRecordSize,
               "writer size");
    const std::vector<DeviceRecord> again = ParseCatalogue(written);
    FUZZ_CHECK(again.size() == records.size(), "writer lost records");
    for (std::size_t i = 0; i < records.size(); ++i) {
        DeviceRecord expected = records[i];
        // Bytes that did not decode were shown as U+FFFD, which GBK lacks:
        // the writer stores '?' for them.
        const std::string storable = GbkToUtf8(Utf8ToGbk(expected.name));
        FUZZ_CHECK(storable.compare(0, again[i].name.size(), again[i].name) == 0,
                   "a written name is not a prefix of the name");
        const std::uint8_t* field = written.data() + kCatalogueHeaderSize + i * kDeviceRecordSize;
        FUZZ_CHECK(std::memchr(field, 0, kDeviceNameSize) != nullptr,
                   "a written name leaves no room for NUL");
        expected.name = again[i].name;
        // NaN voltages compare unequal to themselves: compare the bits, then
        // the rest without them.
        FUZZ_CHECK(std::memcmp(&expected.programVoltage, &again[i].programVoltage, sizeof(float)) == 0,
                   "writer changed the voltage");
        DeviceRecord read = again[i];
        expected.programVoltage = read.programVoltage = 0.0f;
        FUZZ_CHECK(expected == read, "writer changed a field");
    }

    // Whatever a record claims, transfers stay inside the buffers.
    CProgrammer& programmer = Controller();
    programmer.SetCatalogue(records);
    for (std::size_t i = 0; i < records.size() && i < 8; ++i) {
        FUZZ_CHECK(programmer.SelectDevice(int(i)) == &programmer.Devices()[i], "select");
        const int rom = programmer.CurrentRomBytes();
        FUZZ_CHECK(rom >= 0 && rom <= CProgrammer::kBufferSize, "ROM bytes outside the buffer");
        programmer.Buffer1[CProgrammer::kBufferSize - 1] = 0x00;
        const int length = programmer.TrimLength(programmer.Buffer1, CProgrammer::kBufferSize);
        programmer.Buffer1[CProgrammer::kBufferSize - 1] = 0xFF;
        FUZZ_CHECK(length >= 0 && length <= rom, "image length beyond the ROM");
        FUZZ_CHECK(programmer.m_nLength == length, "TrimLength must store its result");
    }
    if (!records.empty()) {
        programmer.SetSignature(records.back().signature);
        programmer.MatchSignature();
        const DeviceRecord* matched = programmer.CurrentDevice();
        FUZZ_CHECK(matched && matched->signature == records.back().signature,
                   "the signature of a record must match a record");
    }
    programmer.SetCatalogue({});
    return 0;
}
