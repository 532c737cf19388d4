#include "cli/ResultLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/TextCodec.h"

std::string JsonString(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // The shortest prefix that is valid UTF-8 is one whole character.
            std::size_t length = 2;
            while (length <= 4 && i + length <= text.size()
                   && !IsValidUtf8(text.substr(i, length)))
                ++length;
            if (length > 4 || i + length > text.size()) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += char(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

std::string ChipRecordJson(const ChipRecord& record)
{
    // Built by appending: "text" + a temporary string makes GCC 12 warn
    // (-Wrestrict) about the insert at its front that operator+ inlines.
    std::string steps = "[";
    for (std::size_t i = 0; i < record.steps.size(); ++i) {
        if (i)
            steps += ',';
        steps += JsonString(record.steps[i]);
    }
    steps += ']';
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", record.seconds);
    auto orNull = [](const std::string& text) {
        return text.empty() ? std::string("null") : JsonString(text);
    };
    const std::pair<const char*, std::string> fields[] = {
        {"time", JsonString(record.time)},
        {"port", JsonString(record.port)},
        {"device", orNull(record.device)},
        {"signature", orNull(record.signature)},
        {"file", JsonString(record.file)},
        {"sha256", orNull(record.sha256)},
        {"serial", record.serial ? std::to_string(*record.serial) : std::string("null")},
        {"checksum", orNull(record.checksum)},
        {"read_checksum", orNull(record.readChecksum)},
        {"steps", steps},
        {"outcome", JsonString(record.outcome)},
        {"last_line", JsonString(record.lastLine)},
        {"seconds", seconds},
    };
    std::string json = "{";
    for (const auto& [key, value] : fields) {
        if (json.size() > 1)
            json += ',';
        json += '"';
        json += key;
        json += "\":";
        json += value;
    }
    json += '}';
    return json;
}

std::string Iso8601LocalTime(std::time_t when)
{
    std::tm local {};
    ::localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[32];
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    return std::string(text) + zone;
}

bool CResultLog::Open(const std::string& path, std::string& error)
{
    m_fd.Reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!m_fd.IsValid()) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    m_strPath = path;
    return true;
}

bool CResultLog::Append(const ChipRecord& record, std::string& error)
{
    const std::string line = ChipRecordJson(record) + "\n";
    std::lock_guard lock(m_mutex);
    struct stat before {};
    const bool sized = ::fstat(m_fd.Get(), &before) == 0 && S_ISREG(before.st_mode);
    ssize_t written = -1;
    do
        written = ::write(m_fd.Get(), line.data(), line.size());
    while (written < 0 && errno == EINTR);
    if (written != ssize_t(line.size())) {
        const int why = written < 0 ? errno : ENOSPC;
        // Half a line (a full disk) would spoil the file for every reader:
        // cut it off again, unless someone else appended meanwhile.
        struct stat after {};
        if (written > 0 && sized && ::fstat(m_fd.Get(), &after) == 0
            && after.st_size == before.st_size + written)
            (void)::ftruncate(m_fd.Get(), before.st_size);
        error = "cannot append to " + m_strPath + ": " + std::strerror(why);
        return false;
    }
    // A pipe or terminal has no disk to flush to (fdatasync says EINVAL).
    if (sized && ::fdatasync(m_fd.Get()) != 0) {
        error = "cannot flush " + m_strPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}
