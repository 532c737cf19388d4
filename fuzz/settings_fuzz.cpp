// The settings block: any 56 bytes survive FromBytes/ToBytes, padding
// included (a block from another installation is saved back as it was);
// any record survives ToBytes/FromBytes; a settings file that does not hold
// a good block leaves the record alone; and a record saved into any file
// loads back as it was.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ScratchFolder.h"
#include "platform/FileBytes.h"
#include "platform/IniText.h"
#include "platform/ProfileFile.h"
#include "settings/core/SettingsRecord.h"

namespace {

using Block = std::array<std::uint8_t, SettingsRecord::kSize>;

const std::string& ScratchFile()
{
    static const CScratchFolder folder("tl-settings-fuzz");
    static const std::string path = folder.File(SettingsRecord::kFileName);
    return path;
}

SettingsRecord ArbitraryRecord(FuzzedDataProvider& input)
{
    SettingsRecord r;
    for (std::int32_t* field : {&r.progType, &r.comPort, &r.baudSel, &r.ispSetting, &r.autoDetect,
                                &r.soundOn, &r.hotkeyOn, &r.autoLoad, &r.autoErase, &r.autoWrite,
                                &r.autoRead, &r.autoVerify, &r.deviceIndex})
        *field = input.ConsumeIntegral<std::int32_t>();
    r.hotkeyKey = input.ConsumeIntegral<std::uint8_t>();
    r.hotkeyMods = input.ConsumeIntegral<std::uint8_t>();
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);

    Block raw{};
    input.ConsumeData(raw.data(), raw.size());
    const SettingsRecord fromRaw = SettingsRecord::FromBytes(raw);
    FUZZ_CHECK(fromRaw.ToBytes() == raw, "ToBytes(FromBytes(b)) differs from b");

    const SettingsRecord record = ArbitraryRecord(input);
    FUZZ_CHECK(SettingsRecord::FromBytes(record.ToBytes()) == record,
               "FromBytes(ToBytes(x)) differs from x");

    // Load from a file of arbitrary text.
    const std::string text = input.ConsumeRemainingBytesAsString();
    const std::string& path = ScratchFile();
    FUZZ_CHECK(WriteFileAtomically(path, text), "scratch file");
    SettingsRecord loaded = record;
    if (!loaded.Load(path)) {
        FUZZ_CHECK(loaded == record, "a failed load changed the record");
    } else {
        const std::optional<std::string> value =
            CIniText(text).Find(SettingsRecord::kSection, SettingsRecord::kKey);
        FUZZ_CHECK(value.has_value(), "loaded a block from a file without the key");
        Block stored{};
        FUZZ_CHECK(CProfileFile::DecodeStruct(*value, stored.data(), stored.size()),
                   "loaded a block that does not decode");
        FUZZ_CHECK(loaded == SettingsRecord::FromBytes(stored), "loaded something else");
    }

    // Saved into whatever the file held, the record comes back unchanged.
    FUZZ_CHECK(record.Save(path), "a record could not be saved into a readable file");
    SettingsRecord again;
    FUZZ_CHECK(again.Load(path), "a saved record does not load");
    FUZZ_CHECK(again == record, "a saved record loads changed");
    return 0;
}
