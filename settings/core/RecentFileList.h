#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The ten most recently loaded image files, kept in "LastFile.ini" in the
// profile format: [File Number] n=<count>, [LastFile] File 0..File n-1 with
// File 0 the oldest. The file is the only lasting store; the list in memory
// lives from one Load to the next Save.
class CRecentFileList {
public:
    static constexpr const char* kFileName = "LastFile.ini";
    static constexpr const char* kCountSection = "File Number";
    static constexpr const char* kCountKey = "n";
    static constexpr const char* kListSection = "LastFile";
    static constexpr std::size_t kMaxEntries = 10;

    explicit CRecentFileList(std::string iniPath);

    const std::string& IniPath() const { return m_strIniPath; }

    // Re-reads the list; a missing file gives an empty list, a missing key an
    // empty entry. A hand-edited count above ten keeps only the ten newest.
    void Load();
    // Writes the count of the list as it stands (done each time the open
    // dialog shows). After Load kept the ten newest of a longer hand-edited
    // list, the entries are rewritten with it, so that the file names the
    // same ten next time. false when the file cannot be written.
    bool WriteCount();
    // Writes every entry and then the count. false when a write failed.
    bool Save();

    // Makes path the newest entry: an equal entry (byte for byte, so letter
    // case matters) moves to the end, a new one is appended and the oldest
    // dropped beyond ten. false, list unchanged, for a path the file could
    // not give back as it is (see CanStore).
    bool Add(const std::string& path);

    // Oldest first, newest last.
    const std::vector<std::string>& Entries() const { return m_entries; }
    std::size_t Size() const { return m_entries.size(); }
    // The newest entry; empty when the list is.
    std::string Newest() const;

    // false for an empty path and for one that would not read back from the
    // profile file unchanged: a line break or NUL, or blanks at either end
    // (the reader trims them).
    static bool CanStore(const std::string& path);
    // The text after the last '.' of the file name (not of a folder name);
    // empty when the name has none.
    static std::string ExtensionOf(const std::string& path);
    // "File %d" for position i.
    static std::string EntryKey(std::size_t index);

private:
    bool WriteCountOnly();

    std::string m_strIniPath;
    std::vector<std::string> m_entries;
    // Load dropped older entries: File 0.. no longer match the list.
    bool m_bEntriesMoved = false;
};
