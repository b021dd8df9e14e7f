// Helpers of the MIDI file tests: file bytes built in code, temporary folders, whole-file I/O
// and the location of the shared test files.
#pragma once

#include "midifile/MidiFile.h"
#include "testsupport/TempFiles.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include <ostream>
#include <sys/wait.h>
#include <unistd.h>

namespace tw {

// Readable events in test failure messages: delta time and bytes in hex.
inline void PrintTo(const MidiEvent &e, std::ostream *os) {
    static const char hex[] = "0123456789abcdef";
    *os << e.dTime << ':';
    for (uint8_t b : e.bytes)
        *os << hex[b >> 4] << hex[b & 15];
}

namespace smftest {

using Bytes = std::vector<uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline Bytes be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// A chunk: four-letter id, big-endian length of body, body.
inline Bytes chunk(const char *id, const Bytes &body) {
    Bytes b(id, id + 4);
    return cat({b, be32(uint32_t(body.size())), body});
}

inline Bytes header(uint16_t format, uint16_t tracks, uint16_t division) {
    return chunk("MThd", {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8),
                          uint8_t(tracks), uint8_t(division >> 8), uint8_t(division)});
}

inline Bytes track(const Bytes &events) {
    return chunk("MTrk", events);
}

// A format 0 file with one track holding these event bytes.
inline Bytes singleTrackFile(const Bytes &events) {
    return cat({header(0, 1, 96), track(events)});
}

using tw::TempDir;

inline void writeBytes(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

inline Bytes readBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads bytes through a real file, as the editor does.
inline int readFromBytes(MidiFile &file, const Bytes &bytes) {
    TempDir dir;
    std::string path = dir.file("in.mid");
    writeBytes(path, bytes);
    return file.read(path.c_str());
}

// Writes through a real file and returns what landed on disk.
inline Bytes writtenBytes(const MidiFile &file, int *rc = nullptr) {
    TempDir dir;
    std::string path = dir.file("out.mid");
    int result = file.write(path.c_str());
    if (rc)
        *rc = result;
    return readBytes(path);
}

// Runs work in a child process and returns its result; 1 when the child ends without one (an
// exception, a crash). For what must not touch this process: resource limits, other users.
inline int resultInChild(const std::function<int()> &work) {
    int fds[2];
    if (::pipe(fds) != 0)
        return 1;
    pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        int rc = 1;
        try {
            rc = work();
        } catch (...) {
        }
        ssize_t n = ::write(fds[1], &rc, sizeof(rc));
        ::_exit(n == sizeof(rc) ? 0 : 3);
    }
    ::close(fds[1]);
    int rc = 1;
    if (child < 0 || ::read(fds[0], &rc, sizeof(rc)) != sizeof(rc))
        rc = 1;
    ::close(fds[0]);
    if (child > 0)
        ::waitpid(child, nullptr, 0);
    return rc;
}

inline std::filesystem::path sourceDir() {
    const char *env = std::getenv("TW_SOURCE_DIR");
    return env && *env ? std::filesystem::path(env) : std::filesystem::path(TW_TEST_SOURCE_DIR);
}

inline std::filesystem::path binDir() {
    const char *env = std::getenv("TW_BIN_DIR");
    return env && *env ? std::filesystem::path(env) : std::filesystem::path(TW_TEST_BIN_DIR);
}

// The shared test files beside the clone, sorted; empty when the folder is absent.
inline std::vector<std::filesystem::path> corpusFiles() {
    std::vector<std::filesystem::path> files;
    std::filesystem::path root = sourceDir() / ".." / "shared" / "testdata" / "midi";
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec))
        return files;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root, ec))
        if (entry.is_regular_file() && entry.path().extension() == ".mid")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace smftest

} // namespace tw
