"""Prints the notes of every track of a MIDI file as python3-mido times them, one per line:
on_tick off_tick channel note velocity on_seconds off_seconds
and then one line "unended N". Notes are paired within each track: a note-off (or a note-on of
velocity 0) closes the open note of its key. A note-on while its key is open ends the open note
there, and notes still open at the end of the track end at its last event (the end-of-track
mark not counted); both kinds last at least one tick and count as unended. Seconds follow every
tempo event of every track; an SMPTE division is timed by its frames per second and ticks per
frame."""
import bisect
import sys

import mido

midi = mido.MidiFile(sys.argv[1])
division = midi.ticks_per_beat
smpte = division < 0  # mido reads the division as a signed number

# Tempo segments: (start tick, seconds at that tick, seconds per tick from there on).
segments = []
if smpte:
    fps = -(division >> 8)
    rate = 30000 / 1001 if fps == 29 else fps
    segments.append((0, 0.0, 1 / (rate * (division & 0xFF))))
else:
    segments.append((0, 0.0, mido.tick2second(1, division, 500000)))
    now_tick = 0
    for msg in mido.merge_tracks(midi.tracks):
        now_tick += msg.time
        if msg.type == "set_tempo":
            tick, seconds, per_tick = segments[-1]
            at = seconds + (now_tick - tick) * per_tick
            new = (now_tick, at, mido.tick2second(1, division, msg.tempo))
            if now_tick == tick:
                segments[-1] = (tick, seconds, new[2])
            else:
                segments.append(new)
starts = [s[0] for s in segments]


def seconds_at(tick):
    start, seconds, per_tick = segments[bisect.bisect_right(starts, tick) - 1]
    return seconds + (tick - start) * per_tick


unended = 0


def emit(start, end, channel, note, velocity):
    print(start, end, channel, note, velocity, repr(seconds_at(start)), repr(seconds_at(end)))


for track in midi.tracks:
    now = last = 0
    open_notes = {}
    for msg in track:
        now += msg.time
        if msg.type == "end_of_track":
            continue
        last = now
        if msg.type not in ("note_on", "note_off"):
            continue
        key = (msg.channel, msg.note)
        if msg.type == "note_on" and msg.velocity > 0:
            if key in open_notes:
                start, velocity = open_notes.pop(key)
                emit(start, max(now, start + 1), msg.channel, msg.note, velocity)
                unended += 1
            open_notes[key] = (now, msg.velocity)
        elif key in open_notes:
            start, velocity = open_notes.pop(key)
            emit(start, now, msg.channel, msg.note, velocity)
    for (channel, note), (start, velocity) in sorted(open_notes.items()):
        emit(start, max(last, start + 1), channel, note, velocity)
        unended += 1
print("unended", unended)
