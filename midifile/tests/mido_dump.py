#!/usr/bin/python3
"""Describes MIDI files as read by python3-mido, in the same text form as the C++ tests.

For each file argument it prints:
    file PATH
    refused MESSAGE                          (mido could not read it)
or
    header FORMAT DIVISION TRACKS
    track EVENTS TONES TICKS                 (per track, End of Track not counted)
    event DTIME HEXBYTES                     (per stored event)
End of Track events are left out and their delta times are not counted, as the C++ reader
drops them. Meta events are given as ff, type, data (no length); sysex as f0 and its data.
"""
import sys

import mido
from mido.midifiles import midifiles


class RawMeta:
    """A meta event that keeps the bytes of the file (mido re-encodes some meta types)."""

    def __init__(self, decoded, meta_type, data):
        self.type = decoded.type
        self.time = decoded.time
        self.raw = bytes([0xFF, meta_type]) + bytes(data)


_build_meta = midifiles.build_meta_message


def _keep_raw_meta(meta_type, data, delta):
    return RawMeta(_build_meta(meta_type, data, delta), meta_type, data)


midifiles.build_meta_message = _keep_raw_meta


def event_bytes(msg):
    if isinstance(msg, RawMeta):
        return msg.raw
    if msg.type == "sysex":
        return bytes([0xF0]) + bytes(msg.data)
    return bytes(msg.bytes())


def describe(path):
    out = ["file " + path]
    try:
        mid = mido.MidiFile(path)
        lines = []
        for track in mid.tracks:
            events = [m for m in track if m.type != "end_of_track"]
            tones = sum(1 for m in events if m.type == "note_on" and m.velocity > 0)
            ticks = sum(m.time for m in events)
            lines.append("track %d %d %d" % (len(events), tones, ticks))
            lines.extend("event %d %s" % (m.time, event_bytes(m).hex()) for m in events)
        out.append("header %d %d %d" % (mid.type, mid.ticks_per_beat & 0xFFFF, len(mid.tracks)))
        out.extend(lines)
    except Exception as e:  # any refusal of mido is reported, not raised
        out.append("refused " + (type(e).__name__ + ": " + str(e)).replace("\n", " "))
    return out


def main():
    for path in sys.argv[1:]:
        print("\n".join(describe(path)))


if __name__ == "__main__":
    main()
