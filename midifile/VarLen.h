// Variable-length quantities and big-endian numbers of Standard MIDI Files.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tw {

namespace midifile {

// Reads a variable-length quantity from data[pos..size): bytes with the top bit set continue it.
// There is no limit on the number of bytes; bits shifted past bit 31 are lost. Advances pos and
// returns true, or returns false when the data ends first.
inline bool readVarLen(const uint8_t *data, std::size_t size, std::size_t &pos, uint32_t &value) {
    uint32_t v = 0;
    while (pos < size) {
        uint8_t b = data[pos++];
        v = (v << 7) | (b & 0x7Fu);
        if ((b & 0x80u) == 0) {
            value = v;
            return true;
        }
    }
    return false;
}

// Writes v, which must be below 2^28 (the largest number the file format holds), as a
// variable-length quantity of 1 to 4 bytes to out; returns the byte count.
inline std::size_t writeVarLen(uint8_t *out, uint32_t v) {
    uint8_t groups[4] = {uint8_t((v >> 21) & 0x7F), uint8_t((v >> 14) & 0x7F),
                         uint8_t((v >> 7) & 0x7F), uint8_t(v & 0x7F)};
    int first = 0;
    while (first < 3 && groups[first] == 0)
        ++first;
    std::size_t n = 0;
    for (int i = first; i < 3; ++i)
        out[n++] = uint8_t(groups[i] | 0x80);
    out[n++] = groups[3];
    return n;
}

inline uint32_t readBigEndian32(const uint8_t *p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

inline uint16_t readBigEndian16(const uint8_t *p) {
    return uint16_t((p[0] << 8) | p[1]);
}

inline void writeBigEndian32(uint8_t *out, uint32_t v) {
    out[0] = uint8_t(v >> 24);
    out[1] = uint8_t(v >> 16);
    out[2] = uint8_t(v >> 8);
    out[3] = uint8_t(v);
}

inline void writeBigEndian16(uint8_t *out, uint16_t v) {
    out[0] = uint8_t(v >> 8);
    out[1] = uint8_t(v);
}

} // namespace midifile

} // namespace tw
