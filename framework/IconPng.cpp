#include "framework/IconPng.h"

#include "framework/AppIcon.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

uint32_t crc32(const std::string &bytes, size_t from) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xffffffffu;
    for (size_t i = from; i < bytes.size(); ++i)
        c = table[(c ^ static_cast<unsigned char>(bytes[i])) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

uint32_t adler32(const std::vector<unsigned char> &bytes) {
    uint32_t a = 1, b = 0;
    for (unsigned char byte : bytes) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

void putBig32(std::string &out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xff);
}

void putChunk(std::string &out, const char *type, const std::string &data) {
    putBig32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out += type;
    out += data;
    putBig32(out, crc32(out, start));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string zlibStored(const std::vector<unsigned char> &raw) {
    std::string z = "\x78\x01";
    size_t at = 0;
    do {
        const size_t length = std::min<size_t>(raw.size() - at, 65535);
        const bool last = at + length == raw.size();
        z += static_cast<char>(last ? 1 : 0);
        z += static_cast<char>(length & 0xff);
        z += static_cast<char>(length >> 8);
        z += static_cast<char>(~length & 0xff);
        z += static_cast<char>((~length >> 8) & 0xff);
        z.append(reinterpret_cast<const char *>(raw.data()) + at, length);
        at += length;
    } while (at < raw.size());
    putBig32(z, adler32(raw));
    return z;
}

} // namespace

std::string appIconPng(int scale) {
    scale = std::clamp(scale, 1, 16);
    const std::vector<unsigned char> pixels = appIconPixels();
    const int size = appIconSize * scale;

    std::vector<unsigned char> raw; // each row: filter type 0, then RGBA pixels
    raw.reserve(static_cast<size_t>(size) * (size * 4 + 1));
    for (int y = 0; y < size; ++y) {
        raw.push_back(0);
        for (int x = 0; x < size; ++x) {
            const size_t source = (static_cast<size_t>(y / scale) * appIconSize + x / scale) * 4;
            raw.insert(raw.end(), pixels.begin() + source, pixels.begin() + source + 4);
        }
    }

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    putBig32(header, static_cast<uint32_t>(size));
    putBig32(header, static_cast<uint32_t>(size));
    header +=
        std::string("\x08\x06\x00\x00\x00", 5); // 8 bits, RGBA, deflate, no filter, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlibStored(raw));
    putChunk(png, "IEND", "");
    return png;
}
