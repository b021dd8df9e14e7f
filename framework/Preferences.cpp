#include "framework/Preferences.h"

#include <cstdlib>

namespace tw {

int prefGetInt(Fl_Preferences &prefs, const char *key, int def) {
    int value = def;
    prefs.get(key, value, def);
    return value >= 0 ? value : def;
}

bool prefGetString(Fl_Preferences &prefs, const char *key, std::string &out) {
    if (!prefs.entryExists(key))
        return false;
    char *text = nullptr;
    prefs.get(key, text, "");
    out = text ? text : "";
    std::free(text);
    return true;
}

void prefGetString(Fl_Preferences &prefs, const char *key, std::string &out, const char *def) {
    if (!prefGetString(prefs, key, out))
        out = def ? def : "";
}

std::string prefArrayKey(const char *name, int index) {
    return std::string(name ? name : "") + std::to_string(index);
}

void prefSetIntArray(Fl_Preferences &prefs, const char *name, const std::vector<int> &values) {
    for (size_t i = 0; i < values.size(); ++i)
        prefs.set(prefArrayKey(name, static_cast<int>(i)).c_str(), values[i]);
}

std::vector<int> prefGetIntArray(Fl_Preferences &prefs, const char *name) {
    std::vector<int> values;
    for (int i = 0; i < prefArrayLimit; ++i) {
        const std::string key = prefArrayKey(name, i);
        if (!prefs.entryExists(key.c_str()))
            break;
        int value = 0;
        prefs.get(key.c_str(), value, 0);
        values.push_back(value);
    }
    return values;
}

} // namespace tw
