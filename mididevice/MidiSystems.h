// Creating RtMidi outputs without library noise: the ALSA and JACK libraries and RtMidi itself
// write their complaints to standard error (some twenty lines at a start without any sound
// system). Here those complaints are caught, the systems are probed before RtMidi is asked to
// use them, and what the library reports through its error callback comes back as the
// exception that it would have thrown without one.
#pragma once

#include <rtmidi/RtMidi.h>

#include <memory>
#include <string>

namespace tw {

// The message of the error that output creation throws when no system answers.
extern const char *const noMidiSystemMessage;
// The client names under which our output and input appear in the MIDI system.
extern const char *const outputClientName;
extern const char *const inputClientName;

// Sends the error and information output of the ALSA and JACK libraries nowhere. Installs the
// handlers once per process; later calls do nothing.
void quietSoundLibraries();

// Whether the system behind api can be reached now: the ALSA sequencer opens, a JACK server
// answers (none is started). True for every other compiled system.
bool midiSystemAnswers(RtMidi::Api api);

// An output of the first compiled system, in the library's order, that answers and offers a
// port; when none offers a port, one of those that answer. Its errors reach the caller through
// takeLibraryReport. Throws RtMidiError: noMidiSystemMessage (NO_DEVICES_FOUND) when no system
// answers, or the library's error when none of them could be created.
std::unique_ptr<RtMidiOut> createQuietOutput(const std::string &clientName);
// The same for an input: its ports are the ports that other clients send from.
std::unique_ptr<RtMidiIn> createQuietInput(const std::string &clientName);

// Call after each call into an output or input made here, on the same thread. Throws the
// error that the library reported during the call; returns the text of a warning it reported
// (empty when it reported nothing).
std::string takeLibraryReport();
// Forgets what the library reported on this thread since the last take.
void discardLibraryReport();

} // namespace tw
