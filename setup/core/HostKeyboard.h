// "Computer Einstellung": the keyboard table this computer's keyboard layout
// gives, through libxkbcommon.
//
// The host's keymap is the X server's (xkbcommon-x11) when DISPLAY is set
// and the connection works; otherwise the layout named by
// XKB_DEFAULT_LAYOUT / _VARIANT / _MODEL / _OPTIONS, else the system's
// /etc/default/keyboard (XKBLAYOUT, XKBVARIANT, XKBMODEL, XKBOPTIONS),
// else "us".
//
// For each character 32..126 the keymap is searched for a key and a level
// that produce it; the cheapest level wins (no modifier, then Shift, then
// AltGr, then Shift+AltGr, which counts as Shift). The scan code is the
// evdev keycode (xkb keycode - 8) for keys 0x01..0x58 outside the keypad.
// A dead key produces no character. A later character overwrites an earlier
// one in the same place.
#pragma once

#include "HidKeyTable.h"

#include <string>

namespace HostKeyboard {

// A keymap's names (rules, model, layout, variant, options); empty = default.
struct Names {
    std::string rules, model, layout, variant, options;
};

// "de", "de(nodeadkeys)", "us,de" (the first group counts) into names; an
// empty text or a malformed one (unbalanced parentheses, blanks) gives false.
bool ParseLayoutName(const std::string& name, Names& names);

// Where the host's keymap comes from, for messages: "X11 display :0",
// "XKB_DEFAULT_LAYOUT=de", "/etc/default/keyboard: de", "us".
struct Source {
    bool x11 = false;
    Names names;          // when not from X11
    std::string describe; // the text above
};

// The table of the host's keymap. False (table unchanged, error set) when no
// keymap could be made, e.g. without XKB data.
bool FromHost(CHidKeyTable& table, std::string* error = nullptr, Source* source = nullptr);
// The table of a named layout ("de", "fr", "us", "de(nodeadkeys)"). False
// (table unchanged, error set) for a layout xkbcommon does not know.
bool FromLayout(CHidKeyTable& table, const std::string& name, std::string* error = nullptr);
bool FromNames(CHidKeyTable& table, const Names& names, std::string* error = nullptr);

// The names the host's keymap would be built from without X11 (the
// environment, then the file, then "us"); keyboardFile for tests.
Names HostNames(const std::string& keyboardFile = "/etc/default/keyboard", std::string* describe = nullptr);

} // namespace HostKeyboard
