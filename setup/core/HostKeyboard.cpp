#include "HostKeyboard.h"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace HostKeyboard {
namespace {

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
struct KeymapDeleter {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
struct ConnectionDeleter {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Context = std::unique_ptr<xkb_context, ContextDeleter>;
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;
using State = std::unique_ptr<xkb_state, StateDeleter>;
using Connection = std::unique_ptr<xcb_connection_t, ConnectionDeleter>;

// The names given are the only ones used: the XKB_DEFAULT_* variables are
// read by HostNames, where they belong, and never change a named layout.
Context NewContext() {
    return Context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
}

// The set-1 scan codes a key button can have: 0x01..0x58 without the keypad
// (0x37 keypad *, 0x47..0x53 the keypad block).
bool IsMainBlockScanCode(int scan) {
    if (scan < 0x01 || scan > 0x58) return false;
    if (scan == 0x37) return false;
    if (scan >= 0x47 && scan <= 0x53) return false;
    return true;
}

constexpr int kNone = 1000;

// The cost of a modifier mask: 0 none, 1 Shift, 2 AltGr, 3 Shift+AltGr;
// kNone for masks with other modifiers (Lock, Control, Alt, NumLock), which
// the reader cannot press.
int MaskCost(xkb_mod_mask_t mask, xkb_mod_mask_t shift, xkb_mod_mask_t altGr) {
    if (mask & ~(shift | altGr)) return kNone;
    int cost = 0;
    if (mask & shift) cost += 1;
    if (mask & altGr) cost += 2;
    return cost;
}

xkb_mod_mask_t ModMask(xkb_keymap* keymap, const char* name) {
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, name);
    return index == XKB_MOD_INVALID ? 0 : xkb_mod_mask_t(1u << index);
}

void TableFromKeymap(xkb_keymap* keymap, xkb_layout_index_t layout, CHidKeyTable& table) {
    const xkb_mod_mask_t shift = ModMask(keymap, XKB_MOD_NAME_SHIFT);
    const xkb_mod_mask_t altGr = ModMask(keymap, "Mod5") | ModMask(keymap, "LevelThree");

    struct Found {
        int cost = kNone;
        int scan = 0;
    };
    Found found[127] = {};
    for (int scan = 0x01; scan <= 0x58; ++scan) {
        if (!IsMainBlockScanCode(scan)) continue;
        const xkb_keycode_t key = xkb_keycode_t(scan + 8);
        const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, key);
        if (layouts == 0) continue;
        // A key with fewer groups than the layout falls back to its first.
        const xkb_layout_index_t group = layout < layouts ? layout : 0;
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, key, group);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap, key, group, level, &syms) != 1) continue;
            // Dead keys and keys without a character give 0 here.
            const uint32_t c = xkb_keysym_to_utf32(syms[0]);
            if (c < 32 || c > 126) continue;
            xkb_mod_mask_t masks[16];
            const size_t count = xkb_keymap_key_get_mods_for_level(keymap, key, group, level, masks, 16);
            int cost = kNone;
            for (size_t i = 0; i < count; ++i) {
                const int maskCost = MaskCost(masks[i], shift, altGr);
                if (maskCost < cost) cost = maskCost;
            }
            // The cheapest way wins; between equal ones the lower scan code.
            if (cost < found[c].cost) found[c] = Found{cost, scan};
        }
    }
    table.Clear();
    for (int c = 32; c <= 126; ++c) {
        if (found[c].cost == kNone) continue;
        // Shift+AltGr has Shift, and Shift decides.
        const CHidKeyTable::Level level = found[c].cost == 0   ? CHidKeyTable::Normal
                                          : found[c].cost == 2 ? CHidKeyTable::AltGr
                                                               : CHidKeyTable::Shift;
        table.SetChar(found[c].scan, level, uint8_t(c));
    }
}

std::string Describe(const Names& names) {
    std::string text = names.layout.empty() ? "us" : names.layout;
    if (!names.variant.empty()) text += "(" + names.variant + ")";
    return text;
}

bool ValidName(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '+' || c == ':'))
            return false;
    return true;
}

// /etc/default/keyboard: shell assignments, KEY="value" or KEY=value.
Names NamesFromFile(const std::string& path) {
    Names names;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        while (!key.empty() && std::isspace(static_cast<unsigned char>(key.front())))
            key.erase(0, 1);
        while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
            value.pop_back();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        if (key == "XKBLAYOUT")
            names.layout = value;
        else if (key == "XKBVARIANT")
            names.variant = value;
        else if (key == "XKBMODEL")
            names.model = value;
        else if (key == "XKBOPTIONS")
            names.options = value;
    }
    return names;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The X server's keymap and its active group.
bool FromX11(CHidKeyTable& table, std::string& describe) {
    const std::string display = Env("DISPLAY");
    if (display.empty()) return false;
    Connection connection(xcb_connect(nullptr, nullptr));
    if (!connection || xcb_connection_has_error(connection.get())) return false;
    if (!xkb_x11_setup_xkb_extension(connection.get(), XKB_X11_MIN_MAJOR_XKB_VERSION,
                                     XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                     nullptr, nullptr, nullptr, nullptr))
        return false;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(connection.get());
    if (device < 0) return false;
    Context context = NewContext();
    if (!context) return false;
    Keymap keymap(
        xkb_x11_keymap_new_from_device(context.get(), connection.get(), device, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) return false;
    xkb_layout_index_t layout = 0;
    State state(xkb_x11_state_new_from_device(keymap.get(), connection.get(), device));
    if (state) {
        const xkb_layout_index_t layouts = xkb_keymap_num_layouts(keymap.get());
        for (xkb_layout_index_t i = 0; i < layouts; ++i)
            if (xkb_state_layout_index_is_active(state.get(), i, XKB_STATE_LAYOUT_EFFECTIVE) > 0) layout = i;
    }
    TableFromKeymap(keymap.get(), layout, table);
    describe = "X11 display " + display;
    return true;
}

} // namespace

bool ParseLayoutName(const std::string& name, Names& names) {
    names = Names();
    std::string layout = name, variant;
    const size_t open = name.find('(');
    if (open != std::string::npos) {
        if (name.back() != ')' || open + 2 > name.size() - 1) return false;
        layout = name.substr(0, open);
        variant = name.substr(open + 1, name.size() - open - 2);
        if (!ValidName(variant)) return false;
    }
    if (!ValidName(layout)) return false;
    names.layout = layout;
    names.variant = variant;
    return true;
}

Names HostNames(const std::string& keyboardFile, std::string* describe) {
    Names names;
    const std::string layout = Env("XKB_DEFAULT_LAYOUT");
    if (!layout.empty()) {
        names.layout = layout;
        names.variant = Env("XKB_DEFAULT_VARIANT");
        names.model = Env("XKB_DEFAULT_MODEL");
        names.options = Env("XKB_DEFAULT_OPTIONS");
        names.rules = Env("XKB_DEFAULT_RULES");
        if (describe) *describe = "XKB_DEFAULT_LAYOUT=" + Describe(names);
        return names;
    }
    names = NamesFromFile(keyboardFile);
    if (!names.layout.empty()) {
        if (describe) *describe = keyboardFile + ": " + Describe(names);
        return names;
    }
    names = Names();
    names.layout = "us";
    if (describe) *describe = "us";
    return names;
}

bool FromNames(CHidKeyTable& table, const Names& names, std::string* error) {
    Context context = NewContext();
    if (!context) {
        if (error) *error = "no XKB context";
        return false;
    }
    xkb_rule_names rmlvo{};
    rmlvo.rules = names.rules.empty() ? nullptr : names.rules.c_str();
    rmlvo.model = names.model.empty() ? nullptr : names.model.c_str();
    rmlvo.layout = names.layout.empty() ? nullptr : names.layout.c_str();
    rmlvo.variant = names.variant.empty() ? nullptr : names.variant.c_str();
    rmlvo.options = names.options.empty() ? nullptr : names.options.c_str();
    xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    Keymap keymap(xkb_keymap_new_from_names(context.get(), &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap) {
        if (error) *error = "unknown keyboard layout: " + Describe(names);
        return false;
    }
    TableFromKeymap(keymap.get(), 0, table);
    return true;
}

bool FromLayout(CHidKeyTable& table, const std::string& name, std::string* error) {
    Names names;
    if (!ParseLayoutName(name, names)) {
        if (error) *error = "unknown keyboard layout: " + name;
        return false;
    }
    return FromNames(table, names, error);
}

bool FromHost(CHidKeyTable& table, std::string* error, Source* source) {
    Source found;
    if (FromX11(table, found.describe)) {
        found.x11 = true;
        if (source) *source = found;
        return true;
    }
    found.names = HostNames("/etc/default/keyboard", &found.describe);
    if (source) *source = found;
    return FromNames(table, found.names, error);
}

} // namespace HostKeyboard
