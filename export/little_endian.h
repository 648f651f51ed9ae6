// Numbers as the WebP and GIF files hold them: least significant byte first.
#pragma once

#include <cstdint>
#include <vector>

// Appends the low 16, 24 or 32 bits of value.
inline void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Reads bytes bytes from in.
inline std::uint32_t GetLittleEndian(const std::uint8_t* in, int bytes)
{
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | in[i];
    return value;
}
