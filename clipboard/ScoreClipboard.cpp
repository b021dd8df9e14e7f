#include "clipboard/ScoreClipboard.h"

#include "clipboard/ClipboardGuard.h"

#include <climits>

namespace tw {

int32_t scoreTapeFormatId = -1;

namespace {
void putU32(uint8_t *at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(value >> (8 * i));
}

uint32_t getU32(const uint8_t *at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

void ensureRegistered(ClipboardGuard &guard) {
    if (scoreTapeFormatId < 0)
        scoreTapeFormatId = guard.registerFormat(scoreTapeFormatName);
}
} // namespace

std::vector<uint8_t> encodeNotes(const std::vector<TapeNote> &notes) {
    std::vector<uint8_t> bytes(notes.size() * noteRecordSize, 0);
    uint8_t *record = bytes.data();
    for (const TapeNote &n : notes) {
        putU32(record, n.note);
        putU32(record + 4, n.start);
        putU32(record + 8, n.length);
        putU32(record + 12, n.channel);
        putU32(record + 16, n.velocity);
        record[20] = n.selected ? 1 : 0;
        record += noteRecordSize;
    }
    return bytes;
}

std::vector<TapeNote> decodeNotes(const uint8_t *data, size_t size) {
    std::vector<TapeNote> notes;
    notes.reserve(size / noteRecordSize);
    for (size_t at = 0; at + noteRecordSize <= size; at += noteRecordSize) {
        const uint8_t *record = data + at;
        TapeNote n;
        // A field beyond its range stays beyond it, and the paste refuses the note.
        n.note = noteFieldByte(getU32(record));
        n.start = getU32(record + 4);
        n.length = getU32(record + 8);
        n.channel = noteFieldByte(getU32(record + 12));
        n.velocity = noteFieldByte(getU32(record + 16));
        n.selected = record[20] != 0;
        notes.push_back(n);
    }
    return notes;
}

bool copyNotesToClipboard(const std::vector<TapeNote> &notes) {
    ClipboardGuard guard;
    ensureRegistered(guard);
    // The clipboard takes a signed 32-bit length; a longer list would not fit into it.
    if (notes.size() > size_t(INT32_MAX) / noteRecordSize)
        return false;
    std::vector<uint8_t> bytes = encodeNotes(notes);
    return guard.setData(scoreTapeFormatId, bytes.data(), int32_t(bytes.size())) == 0;
}

std::vector<TapeNote> notesFromClipboard() {
    ClipboardGuard guard;
    ensureRegistered(guard);
    std::vector<uint8_t> bytes;
    if (guard.getData(scoreTapeFormatId, bytes) != 0)
        return {};
    return decodeNotes(bytes.data(), bytes.size());
}

} // namespace tw
