// Texts by id, without Qt.
//
// Every user-visible text is looked up by its key: a string table id ("521")
// or a dialog id and control id ("109.1250"; "109.0" is the dialog's
// caption). Each program has its own table; the front-end texts that both
// programs show live in the common table, searched second. German is compiled
// in; a loaded language module installs its texts as the override of its
// program, and released it goes back to German.
#pragma once

#include <functional>
#include <string>

namespace TextTable {

struct Entry {
    const char* key;
    const char* text;
};

enum class Program { Morvane, Programmer };

// The active text for the key ("" when the key has no text at all).
std::string Get(Program program, const std::string& key);
inline std::string Get(Program program, int id) {
    return Get(program, std::to_string(id));
}
inline std::string Dialog(Program program, int dialog, int control) {
    return Get(program, std::to_string(dialog) + "." + std::to_string(control));
}

// The compiled-in German text, or null.
const char* German(Program program, const std::string& key);
bool HasKey(Program program, const std::string& key);

// Language module texts: found is set when the module has the key.
using Override = std::function<std::string(const std::string& key, bool& found)>;
void SetOverride(Program program, Override lookup);
void ClearOverride(Program program);

// Decodes the C escapes of a table text (\r \n \t \\ \" and \xNN).
std::string Unescape(const std::string& text);

// "%s", "%d", "%c", "%02X"-style placeholders and "%1", "%2" are filled by
// the callers with the usual printf or argument functions; these helpers
// replace %1..%9 in order.
std::string Arg(std::string text, const std::string& a1);
std::string Arg(std::string text, const std::string& a1, const std::string& a2);

} // namespace TextTable
