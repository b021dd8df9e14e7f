"""Prints the notes of the first track of a MIDI file, one per line:
start length channel note velocity, in MIDI ticks. A note-on opens a note unless one is open
on that key; a note-off (or a note-on of velocity 0) closes it; notes left open are dropped."""
import sys

import mido

track = mido.MidiFile(sys.argv[1]).tracks[0]
now = 0
open_notes = {}
for msg in track:
    now += msg.time
    if msg.type not in ("note_on", "note_off"):
        continue
    key = (msg.channel, msg.note)
    if msg.type == "note_on" and msg.velocity > 0:
        open_notes.setdefault(key, (now, msg.velocity))
    elif key in open_notes:
        start, velocity = open_notes.pop(key)
        print(start, max(now - start, 1), msg.channel, msg.note, velocity)
