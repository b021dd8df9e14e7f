#pragma once

#include <FL/Fl_Preferences.H>

#include <string>
#include <vector>

namespace tw {

// Helpers over an Fl_Preferences group. They never fail: a missing entry gives the default.

// The stored integer when it is 0 or more, otherwise def (also when the entry is missing).
int prefGetInt(Fl_Preferences &prefs, const char *key, int def);

// When the entry exists, out receives its text and the result is true; otherwise out is untouched.
bool prefGetString(Fl_Preferences &prefs, const char *key, std::string &out);

// out receives the entry's text, or def when the entry is missing.
void prefGetString(Fl_Preferences &prefs, const char *key, std::string &out, const char *def);

// Sets the integer entries name + "0", name + "1", ... from values.
void prefSetIntArray(Fl_Preferences &prefs, const char *name, const std::vector<int> &values);

// Reads name + "0", name + "1", ... up to the first missing key (a gap ends the array).
// A hand-edited file cannot make it read more than prefArrayLimit values.
std::vector<int> prefGetIntArray(Fl_Preferences &prefs, const char *name);
constexpr int prefArrayLimit = 1024;

// The key of entry index of an array: "MIDIpgms" and 3 give "MIDIpgms3".
std::string prefArrayKey(const char *name, int index);

} // namespace tw
