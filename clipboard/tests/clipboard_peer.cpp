// A second program that uses the clipboard, driven line by line on standard input:
//   paste                       -> "notes N", then N lines "note start length channel velocity sel"
//   count                       -> "notes N"
//   copy n s l c v sel [...]    -> "copied 1" or "copied 0"
//   register NAME               -> "id NUMBER"
//   get FORMAT PATH             -> "rc CODE SIZE" (writes the data to PATH)
//   set FORMAT PATH             -> "rc CODE" (stores the contents of PATH)
//   quit
// FORMAT is a name or "#number". It answers clipboard requests until it quits.
#include "clipboard/ClipboardGuard.h"
#include "clipboard/ClipboardSystem.h"
#include "clipboard/ScoreClipboard.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

using namespace tw;

namespace {
int32_t formatNumber(ClipboardGuard &guard, const std::string &format) {
    if (!format.empty() && format[0] == '#')
        return int32_t(std::stol(format.substr(1)));
    return guard.registerFormat(format.c_str());
}

void answer(std::istringstream &words) {
    std::string command;
    words >> command;
    ClipboardGuard guard;
    if (command == "paste" || command == "count") {
        std::vector<TapeNote> notes = notesFromClipboard();
        std::cout << "notes " << notes.size() << "\n";
        if (command == "paste") {
            for (const TapeNote &n : notes)
                std::cout << unsigned(n.note) << ' ' << n.start << ' ' << n.length << ' '
                          << unsigned(n.channel) << ' ' << unsigned(n.velocity) << ' '
                          << int(n.selected) << "\n";
        }
    } else if (command == "copy") {
        std::vector<TapeNote> notes;
        TapeNote n;
        unsigned note = 0, channel = 0, velocity = 0;
        int selected = 0;
        while (words >> note >> n.start >> n.length >> channel >> velocity >> selected) {
            n.note = noteFieldByte(note);
            n.channel = noteFieldByte(channel);
            n.velocity = noteFieldByte(velocity);
            n.selected = selected != 0;
            notes.push_back(n);
        }
        std::cout << "copied " << int(copyNotesToClipboard(notes)) << "\n";
    } else if (command == "register") {
        std::string name;
        words >> name;
        std::cout << "id " << guard.registerFormat(name.c_str()) << "\n";
    } else if (command == "get") {
        std::string format, path;
        words >> format >> path;
        std::vector<uint8_t> data;
        int rc = guard.getData(formatNumber(guard, format), data);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
        std::cout << "rc " << rc << ' ' << data.size() << "\n";
    } else if (command == "set") {
        std::string format, path;
        words >> format >> path;
        std::ifstream in(path, std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int rc = guard.setData(formatNumber(guard, format), data.data(), int32_t(data.size()));
        std::cout << "rc " << rc << "\n";
    } else {
        std::cout << "unknown " << command << "\n";
    }
}
} // namespace

int main() {
    clipboardInitThreads();
    std::string line;
    while (std::getline(std::cin, line) && line != "quit") {
        std::istringstream words(line);
        answer(words);
        std::cout.flush();
    }
    clipboardShutdown();
    return 0;
}
