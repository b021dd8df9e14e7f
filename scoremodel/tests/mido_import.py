"""Prints the notes of every track of a MIDI file as python3-mido times them, one per line:
on_tick off_tick channel note velocity on_seconds off_seconds
Notes are paired within each track: a note-on opens a note unless one is open on that key, a
note-off (or a note-on of velocity 0) closes it, notes left open are dropped. Seconds come from
mido.tick2second over the merged tracks, so every tempo event of every track counts; an SMPTE
division is timed by its frames per second and ticks per frame."""
import sys

import mido

midi = mido.MidiFile(sys.argv[1])
division = midi.ticks_per_beat
smpte = division < 0  # mido reads the division as a signed number

# The seconds at every tick where a merged message lies.
seconds_at = {0: 0.0}
now_tick, now_seconds, tempo = 0, 0.0, 500000
for msg in mido.merge_tracks(midi.tracks):
    if smpte:
        fps = -(division >> 8)
        rate = 30000 / 1001 if fps == 29 else fps
        now_seconds += msg.time / (rate * (division & 0xFF))
    else:
        now_seconds += mido.tick2second(msg.time, division, tempo)
    now_tick += msg.time
    seconds_at[now_tick] = now_seconds
    if msg.type == "set_tempo":
        tempo = msg.tempo

for track in midi.tracks:
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
            print(start, now, msg.channel, msg.note, velocity,
                  repr(seconds_at[start]), repr(seconds_at[now]))
