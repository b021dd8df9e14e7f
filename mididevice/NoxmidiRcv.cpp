#include "mididevice/NoxmidiRcv.h"

#include "mididevice/MidiSystems.h"
#include "mididevice/NoxmidiSnd.h"

#include <chrono>
#include <exception>
#include <iostream>
#include <thread>

namespace tw {

namespace {

const char *const portLabel = "RtMidi Input";

void logLine(const char *prefix, const std::string &message) {
    std::cerr << (prefix + message + '\n') << std::flush;
}

bool isOwnOutput(const std::string &name) {
    return name.rfind(tw::outputClientName, 0) == 0;
}

// The names of the input's ports that a user may choose, with their numbers in its list.
std::vector<std::pair<std::string, unsigned>> choosablePorts(RtMidiIn &in) {
    std::vector<std::pair<std::string, unsigned>> ports;
    const unsigned count = in.getPortCount();
    tw::takeLibraryReport();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = in.getPortName(i);
        tw::takeLibraryReport();
        if (!name.empty() && !isOwnOutput(name))
            ports.emplace_back(std::move(name), i);
    }
    return ports;
}

// RtMidi's JACK back end lets its process callback read the port while the port is being
// closed; as for the output, the port is closed first and a callback under way may end before
// the input goes. Nothing arrives through the callback after the input is destroyed.
void destroyInput(std::unique_ptr<RtMidiIn> &in) {
    if (!in)
        return;
    try {
        in->cancelCallback();
        tw::takeLibraryReport();
        if (in->isPortOpen()) {
            in->closePort();
            tw::takeLibraryReport();
            if (in->getCurrentApi() == RtMidi::UNIX_JACK)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } catch (const RtMidiError &) {
    }
    in.reset();
    tw::discardLibraryReport();
}

int64_t steadyMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

std::vector<std::string> NoxmidiRcv::listInputPorts() {
    std::vector<std::string> names;
    try {
        std::unique_ptr<RtMidiIn> probe = tw::createQuietInput(tw::inputClientName);
        for (auto &port : choosablePorts(*probe))
            names.push_back(std::move(port.first));
    } catch (const RtMidiError &e) {
        // The output's list tells of a machine without any system already.
        if (e.getMessage() != tw::noMidiSystemMessage)
            logLine("RtMidi error ", e.getMessage());
    } catch (const std::exception &e) {
        logLine("RtMidi error ", e.what());
    }
    return names;
}

NoxmidiRcv::NoxmidiRcv() = default;

NoxmidiRcv::~NoxmidiRcv() {
    close();
}

int NoxmidiRcv::open(const std::string &name) {
    close();
    try {
        in_ = tw::createQuietInput(tw::inputClientName);
        unsigned number = 0;
        bool found = false;
        for (const auto &port : choosablePorts(*in_))
            if (port.first == name) {
                number = port.second;
                found = true;
                break;
            }
        if (!found)
            throw RtMidiError("no MIDI input port '" + name + "'", RtMidiError::INVALID_PARAMETER);
        // Sysex, clock and active sensing are of no use here and are left out by the library.
        in_->ignoreTypes(true, true, true);
        in_->setCallback(&NoxmidiRcv::arrived, this);
        tw::takeLibraryReport();
        in_->openPort(number, portLabel);
        tw::takeLibraryReport();
        name_ = name;
        return resultOk;
    } catch (const RtMidiError &e) {
        logLine("RtMidi input error ", e.getMessage());
        destroyInput(in_);
        return e.getType();
    } catch (const std::exception &e) {
        logLine("RtMidi input error ", e.what());
        destroyInput(in_);
        return RtMidiError::UNSPECIFIED;
    }
}

void NoxmidiRcv::close() {
    destroyInput(in_);
    name_.clear();
}

void NoxmidiRcv::arrived(double, std::vector<unsigned char> *message, void *self) {
    // The library's delta times count from the previous message and, with JACK, from the start
    // of the cycle that brought it; the steady clock on arrival is the one playback runs on.
    if (message)
        static_cast<NoxmidiRcv *>(self)->receive(*message);
}

void NoxmidiRcv::receive(const std::vector<unsigned char> &message) {
    if (message.empty() || message.size() > 3)
        return;
    InputEvent event;
    event.micros = steadyMicros();
    event.size = uint8_t(message.size());
    for (std::size_t i = 0; i < message.size(); ++i)
        event.bytes[i] = message[i];
    // Thru first: the player waits for the sound, the GUI thread does not.
    uint8_t out[3];
    NoxmidiSnd *const port = thruPort_.load();
    if (port && thru_.load() && thruMessage(event, thruChannel_.load(), out) && port->isOpen())
        port->send(std::vector<uint8_t>(out, out + event.size));
    if (!queue_.push(event))
        dropped_.fetch_add(1);
    else if (wakeUp_)
        wakeUp_();
}

bool NoxmidiRcv::thruMessage(const InputEvent &event, unsigned channel, uint8_t out[3]) {
    const uint8_t kind = event.bytes[0] & 0xF0;
    if (event.size == 0 || kind < 0x80 || kind == 0xF0 || kind == 0xC0)
        return false;
    const std::size_t expected = (kind == 0xD0) ? 2 : 3;
    if (event.size != expected)
        return false;
    out[0] = uint8_t(kind | (channel & 0x0F));
    for (std::size_t i = 1; i < 3; ++i)
        out[i] = i < event.size ? event.bytes[i] : 0;
    return true;
}

} // namespace tw
