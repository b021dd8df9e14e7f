// Notes on the system clipboard in the private format "ScoreTapeFmt": one 24-byte little-endian
// record per note (note, start, length, channel, velocity as unsigned 32-bit numbers, then the
// selected flag and three bytes of padding), in list order, with no header.
#pragma once

#include "notes/TapeNote.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

constexpr const char *scoreTapeFormatName = "ScoreTapeFmt";
constexpr size_t noteRecordSize = 24;

// The display's number for "ScoreTapeFmt"; -1 until registered (again after a failed attempt).
// Thread: GUI only, like the two operations below.
extern int32_t scoreTapeFormatId;

// Puts the notes on the clipboard; other formats stay. False for an empty list or any failure,
// which leaves the clipboard as it was.
bool copyNotesToClipboard(const std::vector<TapeNote> &notes);
// The notes on the clipboard, or an empty list. Fields are taken as stored: adding a note to a
// melody validates it.
std::vector<TapeNote> notesFromClipboard();

std::vector<uint8_t> encodeNotes(const std::vector<TapeNote> &notes);
// Trailing bytes that do not fill a record are ignored.
std::vector<TapeNote> decodeNotes(const uint8_t *data, size_t size);

} // namespace tw
