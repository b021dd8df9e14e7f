// Running the system's python3 with mido, against which the MIDI tests compare.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tw {

// What `python3 script file` prints, standard error included.
inline std::string runPython(const std::string &script, const std::string &file) {
    const std::string command = "/usr/bin/python3 '" + script + "' '" + file + "' 2>&1";
    std::string output;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

inline bool midoAvailable() {
    return std::system("/usr/bin/python3 -c 'import mido' >/dev/null 2>&1") == 0;
}

} // namespace tw
