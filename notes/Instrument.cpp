#include "notes/Instrument.h"

#include "notes/NoteSets.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tw {

#ifndef TW_INSTALL_DATADIR
#define TW_INSTALL_DATADIR "/usr/local/share"
#endif

namespace {

namespace fs = std::filesystem;

// Files larger than this are no instrument written by hand.

const std::string_view sharpSign = "\u266F"; // ♯
const std::string_view flatSign = "\u266D";  // ♭

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Reads a whole number of at most `maxDigits` digits that fills the text.
bool wholeNumber(std::string_view s, unsigned maxDigits, long &value) {
    if (s.empty() || s.size() > maxDigits)
        return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    return ec == std::errc() && end == s.data() + s.size() && s.front() != '-';
}

// The note a token names, or an error message (empty on success).
std::string readNote(std::string_view token, int &note) {
    long value = -1;
    if (!token.empty() && token.front() >= '0' && token.front() <= '9') {
        if (!wholeNumber(token, 9, value))
            return "\"" + std::string(token) + "\" is not a note name or number";
    } else {
        static const int steps[7] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G from C
        const char letter = token.empty() ? '\0' : char(token.front() | 0x20);
        if (letter < 'a' || letter > 'g')
            return "\"" + std::string(token) + "\" is not a note name or number";
        std::string_view rest = token.substr(1);
        int accidental = 0;
        if (startsWith(rest, "#") || startsWith(rest, "b")) {
            accidental = rest.front() == '#' ? 1 : -1;
            rest.remove_prefix(1);
        } else if (startsWith(rest, sharpSign) || startsWith(rest, flatSign)) {
            accidental = startsWith(rest, sharpSign) ? 1 : -1;
            rest.remove_prefix(sharpSign.size());
        }
        const bool below = startsWith(rest, "-");
        long octave = 0;
        if (!wholeNumber(rest.substr(below ? 1 : 0), 2, octave))
            return "\"" + std::string(token) + "\" is not a note name or number";
        value = ((below ? -octave : octave) + 1) * 12 + steps[letter - 'a'] + accidental;
    }
    if (value < 0 || value > 127)
        return "note \"" + std::string(token) + "\" lies outside 0..127";
    note = int(value);
    return {};
}

// Adds the notes of one token: a note or a range "low-high" of notes.
std::string readNotesToken(std::string_view token, std::bitset<128> &notes) {
    int low = -1, high = -1;
    std::string error = readNote(token, low);
    if (error.empty()) {
        notes.set(std::size_t(low));
        return {};
    }
    // A range splits at a '-' with a note on its left ("C-1-C0" splits at the second one).
    for (std::size_t dash = token.find('-', 1); dash != std::string_view::npos;
         dash = token.find('-', dash + 1)) {
        if (!readNote(token.substr(0, dash), low).empty())
            continue;
        std::string upper = readNote(token.substr(dash + 1), high);
        if (!upper.empty())
            return upper;
        if (high < low)
            return "range \"" + std::string(token) + "\" runs downwards";
        for (int n = low; n <= high; ++n)
            notes.set(std::size_t(n));
        return {};
    }
    return error;
}

std::string readNotes(std::string_view value, std::bitset<128> &notes) {
    std::size_t i = 0;
    while (i < value.size()) {
        const auto separator = [](char c) { return isBlank(c) || c == ','; };
        while (i < value.size() && separator(value[i]))
            ++i;
        std::size_t end = i;
        while (end < value.size() && !separator(value[end]))
            ++end;
        if (end > i) {
            std::string error = readNotesToken(value.substr(i, end - i), notes);
            if (!error.empty())
                return error;
        }
        i = end;
    }
    return {};
}

// A number of millimetres within its physical range [low, high].
std::string readMillimetres(std::string_view key, std::string_view value, double low, double high,
                            std::optional<double> &out) {
    double mm = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), mm);
    auto text = [](double v) {
        std::ostringstream s;
        s << v;
        return s.str();
    };
    if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(mm) || mm < low ||
        mm > high)
        return std::string(key) + " needs a number from " + text(low) + " to " + text(high) +
               ", not \"" + std::string(value) + "\"";
    out = mm;
    return {};
}

// One "key: value" line into the instrument; an error message when it is wrong.
std::string readLine(std::string_view key, std::string_view value, Instrument &ins,
                     std::vector<std::string> &seen) {
    if (key != "notes" && std::find(seen.begin(), seen.end(), key) != seen.end())
        return "\"" + std::string(key) + "\" is given twice";
    seen.emplace_back(key);
    if (value.empty())
        return "\"" + std::string(key) + "\" has no value";
    if (key == "name") {
        if (value.size() > maxInstrumentName)
            return "the name is longer than " + std::to_string(maxInstrumentName) + " bytes";
        if (std::any_of(value.begin(), value.end(),
                        [](char c) { return (unsigned char)c < 0x20 || c == 0x7F; }))
            return "the name holds a control character";
        ins.name = value;
        return {};
    }
    if (key == "notes")
        return readNotes(value, ins.notes);
    if (key == "min-gap-ms") {
        long ms = 0;
        if (!wholeNumber(value, 9, ms) || ms > long(maxMinGapMs))
            return "min-gap-ms needs a whole number of milliseconds from 0 to " +
                   std::to_string(maxMinGapMs) + ", not \"" + std::string(value) + "\"";
        ins.minGapMs = unsigned(ms);
        return {};
    }
    // Physical ranges: anything outside them is a typing error, and would make the export's
    // work unbounded (a tape that hardly moves, tracks too close to draw).
    const struct {
        std::string_view key;
        std::optional<double> Instrument::*field;
        double low, high;
    } lengths[] = {
        {"tape-width-mm", &Instrument::tapeWidthMm, 1, 1000},
        {"track-pitch-mm", &Instrument::trackPitchMm, 0.5, 50},
        {"first-track-mm", &Instrument::firstTrackMm, 0, 1000},
        {"mm-per-second", &Instrument::mmPerSecond, 1, 1000},
        {"hole-length-min-mm", &Instrument::holeLengthMinMm, 0.2, 20},
    };
    for (const auto &l : lengths)
        if (key == l.key)
            return readMillimetres(key, value, l.low, l.high, ins.*l.field);
    if (std::optional<std::string> strip = readStripKey(key, value, ins.strip))
        return *strip;
    return "unknown key \"" + std::string(key) + "\"";
}

std::string lowered(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c | 0x20);
    return out;
}

std::optional<Instrument> parseLines(std::string_view text, InstrumentError &error,
                                     unsigned &nameLine) {
    if (startsWith(text, "\xEF\xBB\xBF")) // a byte order mark some editors write
        text.remove_prefix(3);
    Instrument ins;
    std::vector<std::string> seen;
    unsigned number = 0;
    while (!text.empty() || number == 0) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        ++number;
        for (std::size_t hash = line.find('#'); hash != std::string_view::npos;
             hash = line.find('#', hash + 1)) {
            if (hash == 0 || isBlank(line[hash - 1])) {
                line = line.substr(0, hash);
                break;
            }
        }
        line = trim(line);
        if (line.empty())
            continue;
        const std::size_t colon = line.find(':');
        std::string message;
        if (colon == std::string_view::npos)
            message = "expected \"key: value\", found \"" + std::string(line) + "\"";
        else
            message =
                readLine(trim(line.substr(0, colon)), trim(line.substr(colon + 1)), ins, seen);
        if (!message.empty()) {
            error = {number, message};
            return std::nullopt;
        }
        if (trim(line.substr(0, colon)) == "name")
            nameLine = number;
    }
    if (ins.name.empty()) {
        error = {number + 1, "the file gives no name (a line \"name: ...\")"};
        return std::nullopt;
    }
    if (ins.notes.none()) {
        error = {number + 1, "the file gives no notes (a line \"notes: ...\")"};
        return std::nullopt;
    }
    return ins;
}

// The names of the built-in indicator choices, which files may not take.
bool builtinName(const std::string &name) {
    const std::string n = lowered(name);
    for (unsigned choice = 0; choice < 3; ++choice) {
        const std::optional<Instrument> ins = builtinInstrument(choice);
        if (n == lowered(ins ? ins->name : "None"))
            return true;
    }
    return false;
}

bool sameFolder(const fs::path &a, const fs::path &b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) || a.lexically_normal() == b.lexically_normal();
}

} // namespace

int parseNote(std::string_view text) {
    int note = -1;
    return readNote(text, note).empty() ? note : -1;
}

std::optional<Instrument> parseInstrument(std::string_view text, InstrumentError &error) {
    unsigned nameLine = 0;
    return parseLines(text, error, nameLine);
}

bool readInstrumentText(const std::string &path, std::string &text, std::string &why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        why = std::string("the file cannot be opened (") + std::strerror(errno) + ")";
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok)
        why = "it is not a regular file";
    else if (uint64_t(st.st_size) > maxInstrumentFileBytes) {
        ok = false;
        why = "the file is larger than a megabyte";
    }
    text.clear();
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || text.size() + std::size_t(std::max<ssize_t>(n, 0)) > maxInstrumentFileBytes) {
            ok = false;
            why = n < 0 ? "the file cannot be read" : "the file is larger than a megabyte";
        }
        if (n <= 0 || !ok)
            break;
        text.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return ok;
}

std::vector<Instrument> loadInstruments(const std::vector<std::string> &folders,
                                        std::ostream &log) {
    std::vector<Instrument> list;
    for (const std::string &folder : folders) {
        const std::size_t earlierFolders = list.size();
        std::error_code ec;
        std::vector<fs::path> files;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() != ".instrument")
                continue;
            std::error_code typeError;
            if (it->is_regular_file(typeError)) {
                files.push_back(it->path());
                continue;
            }
            // Every entry left out is named: a link that leads nowhere, a folder, a FIFO.
            const fs::file_status st = it->status(typeError);
            const char *what = st.type() == fs::file_type::not_found   ? "a link that leads nowhere"
                               : st.type() == fs::file_type::directory ? "a folder"
                               : st.type() == fs::file_type::fifo      ? "a FIFO"
                                                                       : "not a regular file";
            log << "tapeworks2: skipping instrument file " << it->path().string() << ": it is "
                << what << '\n';
        }
        std::sort(files.begin(), files.end());
        for (const fs::path &file : files) {
            const auto skip = [&](unsigned line, const std::string &what) {
                log << "tapeworks2: skipping instrument file " << file.string() << ", line " << line
                    << ": " << what << '\n';
            };
            std::string content, why;
            if (!readInstrumentText(file.string(), content, why)) {
                skip(1, why);
                continue;
            }
            InstrumentError error;
            unsigned nameLine = 0;
            std::optional<Instrument> ins = parseLines(content, error, nameLine);
            if (!ins) {
                skip(error.line, error.what);
                continue;
            }
            const auto same = std::find_if(list.begin(), list.end(), [&](const Instrument &i) {
                return lowered(i.name) == lowered(ins->name);
            });
            // An instrument of an earlier folder stands for its copies in later ones (the
            // user's own changed copy of an installed example, or a second installation).
            if (same != list.end() && std::size_t(same - list.begin()) < earlierFolders)
                continue;
            if (same != list.end()) {
                skip(nameLine, "the name \"" + ins->name + "\" is taken by " + same->path);
                continue;
            }
            if (builtinName(ins->name)) {
                skip(nameLine, "the name \"" + ins->name + "\" is a built-in choice's");
                continue;
            }
            ins->path = file.string();
            list.push_back(std::move(*ins));
        }
    }
    std::stable_sort(list.begin(), list.end(), [](const Instrument &a, const Instrument &b) {
        return lowered(a.name) < lowered(b.name);
    });
    return list;
}

std::vector<std::string> instrumentFolders(const char *xdgConfigHome, const char *home,
                                           const std::string &executable,
                                           const std::string &installedDataDir) {
    const fs::path below = fs::path("tapeworks2") / "instruments";
    std::vector<fs::path> folders;
    // The XDG rule: a relative or empty XDG_CONFIG_HOME counts as unset.
    if (xdgConfigHome && xdgConfigHome[0] == '/')
        folders.push_back(fs::path(xdgConfigHome) / below);
    else if (home && home[0] != '\0')
        folders.push_back(fs::path(home) / ".config" / below);
    if (!executable.empty())
        folders.push_back(fs::path(executable).parent_path().parent_path() / "share" / below);
    if (!installedDataDir.empty())
        folders.push_back(fs::path(installedDataDir) / below);

    std::vector<std::string> out;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const auto earlier = folders.begin() + std::ptrdiff_t(i);
        if (std::none_of(folders.begin(), earlier,
                         [&](const fs::path &p) { return sameFolder(p, folders[i]); }))
            out.push_back(folders[i].lexically_normal().string());
    }
    return out;
}

std::vector<std::string> instrumentFolders() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return instrumentFolders(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"),
                             ec ? std::string() : self.string(), TW_INSTALL_DATADIR);
}

RowColours instrumentRowColours(const Instrument &instrument) {
    return noteSetRowColours(instrument.notes, paletteWhite, paletteDark1, paletteWhite);
}

std::optional<Instrument> builtinInstrument(unsigned choice) {
    Instrument ins;
    if (choice == indicatorPiano) {
        ins.name = "88-key Piano";
        for (unsigned n = 21; n <= 108; ++n)
            ins.notes.set(n);
    } else if (choice == indicatorDeleika26) {
        ins.name = "Deleika-26";
        ins.notes = NoteSet(deleika26Notes).members;
    } else {
        return std::nullopt;
    }
    return ins;
}

} // namespace tw
