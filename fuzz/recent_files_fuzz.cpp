// The recent-files list read from an arbitrary "LastFile.ini": it never holds
// more than ten entries, a path it accepts becomes the newest, and what it
// saves reads back as it was, or the save says it failed.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ScratchFolder.h"
#include "platform/FileBytes.h"
#include "settings/core/RecentFileList.h"

namespace {

const std::string& ScratchFile()
{
    static const CScratchFolder folder("tl-recent-fuzz");
    static const std::string path = folder.File(CRecentFileList::kFileName);
    return path;
}

// What the profile file cannot hold inside a value.
bool Storable(const std::string& entry)
{
    return entry.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string added = input.ConsumeRandomLengthString(64);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const std::string& path = ScratchFile();
    FUZZ_CHECK(WriteFileAtomically(path, text), "scratch file");

    CRecentFileList list(path);
    list.Load();
    FUZZ_CHECK(list.Size() <= CRecentFileList::kMaxEntries, "more than ten entries loaded");

    const std::vector<std::string> before = list.Entries();
    if (list.Add(added)) {
        FUZZ_CHECK(CRecentFileList::CanStore(added), "accepted a path it cannot store");
        FUZZ_CHECK(list.Newest() == added, "an added path is not the newest");
        FUZZ_CHECK(list.Size() <= CRecentFileList::kMaxEntries, "more than ten entries");
    } else {
        FUZZ_CHECK(list.Entries() == before, "a refused path changed the list");
    }

    bool storable = true;
    for (const std::string& entry : list.Entries())
        storable = storable && Storable(entry);
    if (list.Save()) {
        CRecentFileList again(path);
        again.Load();
        FUZZ_CHECK(again.Entries() == list.Entries(), "a saved list reads back changed");
    } else {
        FUZZ_CHECK(!storable, "a list of storable entries failed to save");
    }
    return 0;
}
