// The Standard MIDI File writer. The data is checked against the limits of the format first,
// then encoded through a buffer into the safe writer (safefile/), whose rules the save follows.
#include "midifile/MidiFile.h"
#include "midifile/VarLen.h"

#include <cstring>
#include <exception>
#include <string>

namespace tw {

namespace {

// Counts the bytes that encoding produces, for a chunk's length field.
class ByteCounter {
public:
    void put(const uint8_t *, std::size_t n) { count_ += n; }
    uint64_t count() const { return count_; }

private:
    uint64_t count_ = 0;
};

// Writes to a file through a fixed buffer; after the first failure nothing more is written.
class FileSink {
public:
    explicit FileSink(SafeFile &file) : file_(file), buffer_(std::size_t(1) << 20) {}

    void put(const uint8_t *p, std::size_t n) {
        if (used_ + n > buffer_.size()) {
            flush();
            if (n >= buffer_.size()) { // a very long event goes out directly
                ok_ = ok_ && file_.write(p, n);
                return;
            }
        }
        if (n != 0)
            std::memcpy(buffer_.data() + used_, p, n);
        used_ += n;
    }
    // Writes what is buffered; false if any write so far failed.
    bool flush() {
        ok_ = ok_ && file_.write(buffer_.data(), used_);
        used_ = 0;
        return ok_;
    }

private:
    SafeFile &file_;
    std::vector<uint8_t> buffer_;
    std::size_t used_ = 0;
    bool ok_ = true;
};

// The largest number a variable-length quantity of the format holds (four bytes of 7 bits).
constexpr uint64_t maxVarLen = 0x0FFFFFFF;

// Encodes the header and the events of tracks into a sink (anything with put(bytes, count)).
// A number the format cannot hold marks the encoding as failed and is not written.
template <class Sink> class SmfEncoder {
public:
    explicit SmfEncoder(Sink &sink) : sink_(sink) {}

    bool ok() const { return ok_; }

    void header(const MidiFile &file) {
        uint8_t h[14] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(file.format & 0x0F)};
        midifile::writeBigEndian16(h + 10, uint16_t(file.tracks.size()));
        midifile::writeBigEndian16(h + 12, file.timeUnit);
        sink_.put(h, sizeof(h));
    }

    // The events of a track and an End of Track of its own. The delta time of an empty event
    // (which a track should not hold) passes on to the next event.
    void events(const NoxmidiTrk &track) {
        uint64_t pendingTicks = 0;
        for (const MidiEvent &e : track.events) {
            if (e.bytes.empty()) {
                pendingTicks += e.dTime;
                continue;
            }
            event(pendingTicks + e.dTime, e);
            pendingTicks = 0;
        }
        uint8_t end[7];
        std::size_t n = varLen(end, pendingTicks);
        end[n] = 0xFF;
        end[n + 1] = 0x2F;
        end[n + 2] = 0x00;
        sink_.put(end, n + 3);
    }

private:
    std::size_t varLen(uint8_t *out, uint64_t v) {
        if (v > maxVarLen) {
            ok_ = false;
            v = 0;
        }
        return midifile::writeVarLen(out, uint32_t(v));
    }

    void event(uint64_t dTime, const MidiEvent &e) {
        const EventBytes &b = e.bytes;
        uint8_t head[16];
        std::size_t n = varLen(head, dTime);
        switch (e.kind()) {
        case MidiEventKind::Midi: // as stored, always with its status byte
            if (b.size() <= sizeof(head) - n) {
                std::memcpy(head + n, b.data(), b.size());
                sink_.put(head, n + b.size());
            } else {
                sink_.put(head, n);
                sink_.put(b.data(), b.size());
            }
            break;
        case MidiEventKind::Meta: {
            // A meta event stored without its type byte is written as type 0.
            std::size_t dataSize = b.size() > 2 ? b.size() - 2 : 0;
            head[n++] = 0xFF;
            head[n++] = b.size() > 1 ? b[1] : 0;
            n += varLen(head + n, dataSize);
            sink_.put(head, n);
            sink_.put(b.data() + 2, dataSize);
            break;
        }
        case MidiEventKind::Sysex: {
            // Any system status is written as system exclusive: 0xF0, the count of the data
            // bytes plus the closing byte, the data, 0xF7.
            static const uint8_t close = 0xF7;
            head[n++] = 0xF0;
            n += varLen(head + n, b.size());
            sink_.put(head, n);
            sink_.put(b.data() + 1, b.size() - 1);
            sink_.put(&close, 1);
            break;
        }
        case MidiEventKind::Empty:
            break;
        }
    }

    Sink &sink_;
    bool ok_ = true;
};

// The chunk length of each track, counted before anything is written; false when the data
// does not fit the format: more than 65535 tracks, a number above 28 bits (a delta time, a
// meta or sysex length) or a track above 4 GB.
bool measureTracks(const MidiFile &file, std::vector<uint32_t> &lengths) {
    if (file.tracks.size() > 0xFFFF)
        return false;
    lengths.clear();
    for (const NoxmidiTrk &track : file.tracks) {
        ByteCounter counter;
        SmfEncoder<ByteCounter> encoder(counter);
        encoder.events(track);
        if (!encoder.ok() || counter.count() > 0xFFFFFFFFu)
            return false;
        lengths.push_back(uint32_t(counter.count()));
    }
    return true;
}

uint64_t fileSize(const std::vector<uint32_t> &lengths) {
    uint64_t size = 14;
    for (uint32_t length : lengths)
        size += 8 + uint64_t(length);
    return size;
}

// Writes the whole file with the chunk lengths measured before; false when a write fails.
bool writeFile(const MidiFile &file, const std::vector<uint32_t> &lengths, SafeFile &out) {
    FileSink sink(out);
    SmfEncoder<FileSink> encoder(sink);
    encoder.header(file);
    for (std::size_t i = 0; i < file.tracks.size(); ++i) {
        uint8_t chunk[8] = {'M', 'T', 'r', 'k'};
        midifile::writeBigEndian32(chunk + 4, lengths[i]);
        sink.put(chunk, sizeof(chunk));
        encoder.events(file.tracks[i]);
    }
    return sink.flush() && encoder.ok();
}

} // namespace

int MidiFile::write(const char *path) const {
    return write(path, nullptr);
}

int MidiFile::write(const char *path, SafeFileStatus *status,
                    const SafeFileOptions &options) const {
    SafeFileStatus ignored;
    SafeFileStatus &result = status ? *status : ignored;
    const std::string name = path ? path : "";
    std::vector<uint32_t> lengths;
    try {
        if (!measureTracks(*this, lengths)) {
            result = {errSafeFileWrite,
                      "The melody does not fit a MIDI file (more than 65535 tracks, or 2^28 ticks "
                      "or more between two events); nothing was written to " +
                          name + "."};
            return errWrite;
        }
        SafeFileOptions sized = options;
        sized.expectedSize = fileSize(lengths);
        SafeFile out;
        result = out.open(name, sized);
        if (!result)
            return result.code == errSafeFileNoSpace || result.code == errSafeFileWrite
                       ? errWrite
                       : errCannotOpen;
        writeFile(*this, lengths, out);
        result = out.commit();
        return result ? 0 : errWrite;
    } catch (const std::exception &) {
        result = {errSafeFileWrite, "There is not enough memory to write " + name + "."};
        return errWrite;
    }
}

} // namespace tw
