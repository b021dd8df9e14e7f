#include "mididevice/MidiSystems.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <mutex>

namespace tw {

const char *const noMidiSystemMessage = "no MIDI output system found";
const char *const outputClientName = "RtMidi Output Client";
const char *const inputClientName = "RtMidi Input Client";

namespace {

void dropAlsaMessage(const char *, int, const char *, int, const char *, ...) {}
void dropJackMessage(const char *) {}

// What the library reported through the error callback during the current call. Every call
// into an output happens on one thread at a time and the callback runs inside that call, so a
// slot per thread keeps reports of two threads apart.
struct LibraryReport {
    bool reported = false;
    RtMidiError::Type type = RtMidiError::UNSPECIFIED;
    std::string message;
};
thread_local LibraryReport pendingReport;

void keepReport(RtMidiError::Type type, const std::string &message, void *) {
    // The first report of a call is the cause; later ones follow from it.
    if (!pendingReport.reported)
        pendingReport = {true, type, message};
}

bool isWarning(RtMidiError::Type type) {
    return type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING;
}

} // namespace

void quietSoundLibraries() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        snd_lib_error_set_handler(dropAlsaMessage);
        jack_set_error_function(dropJackMessage);
        jack_set_info_function(dropJackMessage);
    });
}

bool midiSystemAnswers(RtMidi::Api api) {
    quietSoundLibraries();
    if (api == RtMidi::LINUX_ALSA) {
        snd_seq_t *sequencer = nullptr;
        if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
            return false;
        snd_seq_close(sequencer);
        return true;
    }
    if (api == RtMidi::UNIX_JACK) {
        jack_status_t status;
        jack_client_t *client = jack_client_open("tw-probe", JackNoStartServer, &status);
        if (!client)
            return false;
        jack_client_close(client);
        return true;
    }
    return true;
}

namespace {

// The first compiled system, in the library's order, that answers and offers a port; when none
// offers a port, one of those that answer.
template <class Midi> std::unique_ptr<Midi> createQuiet(const std::string &clientName) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::unique_ptr<Midi> chosen;
    std::unique_ptr<RtMidiError> firstError;
    for (RtMidi::Api api : apis) {
        if (!midiSystemAnswers(api))
            continue;
        try {
            auto midi = std::make_unique<Midi>(api, clientName);
            midi->setErrorCallback(keepReport, nullptr);
            discardLibraryReport(); // a leftover of an earlier call is not this one's
            const unsigned count = midi->getPortCount();
            takeLibraryReport();
            chosen = std::move(midi);
            if (count > 0)
                break;
        } catch (const RtMidiError &e) {
            if (!firstError)
                firstError = std::make_unique<RtMidiError>(e);
        }
    }
    if (chosen)
        return chosen;
    if (firstError)
        throw *firstError;
    throw RtMidiError(noMidiSystemMessage, RtMidiError::NO_DEVICES_FOUND);
}

} // namespace

std::unique_ptr<RtMidiOut> createQuietOutput(const std::string &clientName) {
    return createQuiet<RtMidiOut>(clientName);
}

std::unique_ptr<RtMidiIn> createQuietInput(const std::string &clientName) {
    return createQuiet<RtMidiIn>(clientName);
}

void discardLibraryReport() {
    pendingReport = LibraryReport();
}

std::string takeLibraryReport() {
    LibraryReport report = std::move(pendingReport);
    discardLibraryReport();
    if (!report.reported)
        return std::string();
    if (!isWarning(report.type))
        throw RtMidiError(report.message, report.type);
    return report.message;
}

} // namespace tw
