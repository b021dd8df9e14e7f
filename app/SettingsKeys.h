// The keys under which the editor keeps its settings in the preferences file. Users' files hold
// these names, so they never change.
#pragma once

namespace tw::settings {

inline constexpr char bottomNote[] = "bottomNote";
inline constexpr char leftMarker[] = "marker1";
inline constexpr char rightMarker[] = "marker2";
inline constexpr char channel[] = "midiChan";
inline constexpr char noteIndicators[] = "noteIndic";
inline constexpr char playInsertedNote[] = "playNote";
inline constexpr char programs[] = "MIDIpgms"; // an array: MIDIpgms0 to MIDIpgms15
inline constexpr char ticksPerFrame[] = "TicksPerFrame";
inline constexpr char midiPort[] = "midiPort";
inline constexpr char fileName[] = "fname";
inline constexpr char recentFile[] = "recentFile"; // + index 0 to 7
inline constexpr char followPlayback[] = "followPlay";
inline constexpr char noteNames[] = "noteNames";
inline constexpr char zoom[] = "zoom";
inline constexpr char dragNotes[] = "dragNotes";
inline constexpr char snapToBeat[] = "snapToBeat";
inline constexpr char snapDivision[] = "snapDivision";
inline constexpr char beatLines[] = "beatLines";
inline constexpr char beatsPerMinute[] = "beatsPerMinute";
inline constexpr char beatsPerBar[] = "beatsPerBar";
inline constexpr char firstBarTick[] = "firstBarTick";
inline constexpr char loopPlayback[] = "loopPlay";
inline constexpr char midiInputPort[] = "midiInPort";
inline constexpr char midiThru[] = "midiThru";

} // namespace tw::settings
