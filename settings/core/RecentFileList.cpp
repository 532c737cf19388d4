#include "settings/core/RecentFileList.h"

#include <algorithm>
#include <utility>

#include "platform/ProfileFile.h"

CRecentFileList::CRecentFileList(std::string iniPath) : m_strIniPath(std::move(iniPath)) {}

void CRecentFileList::Load()
{
    const CProfileFile ini(m_strIniPath);
    m_entries.clear();
    m_bEntriesMoved = false;
    const int count = ini.GetInt(kCountSection, kCountKey, 0);
    if (count <= 0)
        return;
    // Only the newest entries matter, and reading a huge hand-edited count
    // key by key would stall the dialog.
    const std::size_t total = std::size_t(count);
    const std::size_t first = total > kMaxEntries ? total - kMaxEntries : 0;
    for (std::size_t i = first; i < total; ++i)
        m_entries.push_back(ini.GetString(kListSection, EntryKey(i), std::string()));
    m_bEntriesMoved = first > 0;
}

bool CRecentFileList::WriteCount()
{
    // A count of ten alone would make the file name its ten oldest entries.
    if (m_bEntriesMoved)
        return Save();
    return WriteCountOnly();
}

bool CRecentFileList::WriteCountOnly()
{
    return CProfileFile(m_strIniPath)
        .WriteString(kCountSection, kCountKey, std::to_string(m_entries.size()));
}

bool CRecentFileList::Save()
{
    CProfileFile ini(m_strIniPath);
    bool ok = true;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        ok = ini.WriteString(kListSection, EntryKey(i), m_entries[i]) && ok;
    // The count goes last: a file cut short by a failed write never names
    // more entries than were written.
    ok = ok && WriteCountOnly();
    if (ok)
        m_bEntriesMoved = false;
    return ok;
}

bool CRecentFileList::Add(const std::string& path)
{
    if (!CanStore(path))
        return false;
    const auto found = std::find(m_entries.begin(), m_entries.end(), path);
    if (found != m_entries.end()) {
        // Everything after it moves one place towards the front.
        std::rotate(found, found + 1, m_entries.end());
        return true;
    }
    while (m_entries.size() >= kMaxEntries)
        m_entries.erase(m_entries.begin());
    m_entries.push_back(path);
    return true;
}

std::string CRecentFileList::Newest() const
{
    return m_entries.empty() ? std::string() : m_entries.back();
}

bool CRecentFileList::CanStore(const std::string& path)
{
    if (path.empty() || path.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return false;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return !blank(path.front()) && !blank(path.back());
}

std::string CRecentFileList::ExtensionOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart)
        return std::string();
    return path.substr(dot + 1);
}

std::string CRecentFileList::EntryKey(std::size_t index)
{
    return "File " + std::to_string(index);
}
