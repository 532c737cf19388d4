#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// SHA-256 (FIPS 180-4), for the fingerprint of an image file in the result
// log. Small and dependency-free; speed is not a concern at image sizes.
class CSha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    CSha256();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything given so far; the object is spent afterwards.
    Digest Final();

    // The digest of bytes as 64 lower-case hex digits.
    static std::string Hex(std::string_view bytes);

private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> m_state;
    std::array<std::uint8_t, 64> m_block {};
    std::size_t m_nBlockUsed = 0;
    std::uint64_t m_nTotalBytes = 0;
};
