#include "clipboard/TextEncoding.h"

namespace tw {

Bytes latin1ToUtf8(const Bytes &latin1) {
    Bytes out;
    out.reserve(latin1.size());
    for (uint8_t c : latin1) {
        if (c < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<uint8_t>(0xC0 | (c >> 6)));
            out.push_back(static_cast<uint8_t>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

Bytes utf8ToLatin1(const Bytes &utf8) {
    Bytes out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        uint8_t c = utf8[i];
        size_t extra = 0; // continuation bytes after the lead byte
        if ((c & 0xE0) == 0xC0)
            extra = 1;
        else if ((c & 0xF0) == 0xE0)
            extra = 2;
        else if ((c & 0xF8) == 0xF0)
            extra = 3;
        if (c >= 0x80 && extra == 0) { // a stray continuation byte or an invalid lead byte
            out.push_back('?');
            ++i;
            continue;
        }
        uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
        size_t j = 1;
        for (; j <= extra; ++j) {
            if (i + j >= utf8.size() || (utf8[i + j] & 0xC0) != 0x80)
                break;
            code = (code << 6) | (utf8[i + j] & 0x3F);
        }
        if (j <= extra) { // truncated sequence
            out.push_back('?');
            ++i;
            continue;
        }
        out.push_back(code <= 0xFF ? static_cast<uint8_t>(code) : '?');
        i += extra + 1;
    }
    return out;
}

} // namespace tw
