// Conversions between the two text encodings of X selections: UTF-8 and Latin-1 (STRING).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

using Bytes = std::vector<uint8_t>;

Bytes latin1ToUtf8(const Bytes &latin1);
// Characters outside Latin-1 become '?'; malformed sequences become '?' byte by byte.
Bytes utf8ToLatin1(const Bytes &utf8);

} // namespace tw
