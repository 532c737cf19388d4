#pragma once

#include <cstddef>
#include <string>

// Our stand-in for the Windows private-profile calls: one ini file, read and
// written key by key. Section and key names compare case-insensitively; a
// file written on Windows (CRLF, GBK section names) reads like our own UTF-8
// files. A write keeps every other line of the file as it was and replaces
// the file atomically (temporary file, then rename).
class CProfileFile {
public:
    explicit CProfileFile(std::string path);

    const std::string& Path() const { return m_strPath; }

    // The value of key in section, or def when the file, section or key is
    // missing. Surrounding blanks of the value are dropped.
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def) const;
    // Leading decimal digits (with optional sign) of the value, as the
    // Windows call does; def when the key is missing.
    int GetInt(const std::string& section, const std::string& key, int def) const;
    // Adds or replaces the key, creating the file or section when needed.
    // false when the file cannot be written, or when the text would not read
    // back as given (a line break or NUL anywhere, '=' in the key, ']' in the
    // section, an empty key); the file is unchanged then.
    bool WriteString(const std::string& section, const std::string& key,
                     const std::string& value);
    // Removes the key; true when the file is left without it.
    bool DeleteKey(const std::string& section, const std::string& key);

    // Struct encoding: every byte as two upper-case hex digits, then two
    // digits of the low 8 bits of the byte sum. A read fails on a missing
    // key, a length that does not fit size bytes, or a bad checksum; data is
    // left untouched then.
    bool GetStruct(const std::string& section, const std::string& key, void* data,
                   std::size_t size) const;
    bool WriteStruct(const std::string& section, const std::string& key,
                     const void* data, std::size_t size);

    static std::string EncodeStruct(const void* data, std::size_t size);
    static bool DecodeStruct(const std::string& text, void* data, std::size_t size);

private:
    std::string m_strPath;
};
