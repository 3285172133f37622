// OutputPreview: what a reader will send or type for a configuration and a
// sample transponder, before it is programmed. The bytes come from the
// output engine (output/), the same code the simulated reader sends with,
// so the preview is what a reader with these blocks does.
//
// A serial reader: the telegram (pieces with their pauses) as hex and as
// printable text, control characters by name (<CR>, <TAB>, <ESC>), and the
// removal sequence. An HID reader types the same bytes through its keyboard
// table: for each character the key (usage) and modifier the table gives,
// and the character a host with a given keyboard layout makes of that key.
// Where the two differ the preview says so ("Z typed, host shows Y"): the
// reader's table does not fit the host's layout.
#pragma once

#include "HidKeyTable.h"
#include "KeyTable.h"
#include "SeriellEinstellModel.h"
#include "SetupHost.h"
#include "TagMemory.h"
#include "Telegram.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace OutputPreview {

using Bytes = std::vector<uint8_t>;

// The sample transponder: EPC, TID and user memory. Defaults: the
// simulator's sample transponder (ReaderOutput::SampleEpc, its TID, 64 zero
// bytes of user memory). An empty TID is the one the simulator derives from
// the EPC.
struct Sample {
    Bytes epc;
    Bytes tid;
    Bytes user;
    static Sample Default();
    ReaderOutput::TagMemory Memory() const;
};

// What a reader holds: its blocks and, for an HID reader, its keyboard table.
struct Config {
    ReaderOutput::Blocks blocks;
    bool hid = false;
    CHidKeyTable keyTable;
};

// The configuration of the programming dialog's pages, built as programming
// builds it (BuildImage); for an HID model with the parameter page's
// keyboard table. A page that refuses its values gives its message and no
// configuration, as does a key sequence the last file did not load (595,
// programming's refusal).
std::optional<SetupMessage> FromModel(CSeriellEinstellModel& model, Config& config);

// The reader's typing table after the keyboard table was transferred: the
// transfer's key settings applied in the order they are sent (a character
// on several keys ends on the last), Escape on the Escape key.
ReaderOutput::KeyTable ReaderKeys(const CHidKeyTable& table);

// A host keyboard layout: its name as given ("" = this computer's) and the
// keyboard table it gives (HostKeyboard).
struct HostLayout {
    std::string name;     // "de", "fr", "us", "de(nodeadkeys)"; "" = the host's
    std::string describe; // the name, or where the host's keymap came from
    CHidKeyTable table;
};
// False (error set) when the layout is not known or no keymap can be made.
bool LoadHostLayout(const std::string& name, HostLayout& layout, std::string* error = nullptr);
// Layout names a chooser offers (the host's own first when it has a name).
std::vector<std::string> OfferedLayouts();
// The name of this computer's layout without X11 ("de", "us"), as the
// environment or /etc/default/keyboard give it.
std::string HostLayoutName();

// The character a host with this table makes of a key press; nullopt for
// none (a key its layout has no character of the table for, a dead key).
// The control keys (Enter, Tab, Escape, Backspace, Delete) give their
// control characters on every layout; Control with a letter gives its
// control character.
std::optional<uint8_t> HostCharacter(const ReaderOutput::Key& key, const CHidKeyTable& host);

// One typed character of an HID reader.
struct TypedKey {
    uint8_t character = 0;                // what the reader means to type
    ReaderOutput::Key key;                // usage 0: the reader has no key for it
    std::optional<uint8_t> hostCharacter; // what the host shows; nullopt nothing
    bool mismatch = false;                // no key, or the host shows something else
    // "Z typed, host shows Y", "'[' typed, host shows nothing", "<CR>: no key on the reader".
    std::string Describe() const;
};

// One sequence the reader sends: the telegram or the removal sequence.
struct Sequence {
    ReaderOutput::Output pieces; // with their pauses
    Bytes bytes;                 // all bytes, pauses left out
    std::string hex;             // "02 33 30 0D", a pause as "(100 ms)"
    std::string printable;       // "<STX>30<CR>", a pause as "<pause 100 ms>"
    // HID reader only:
    std::vector<TypedKey> keys;
    std::string hostText;           // the host's characters, printable as above
    std::vector<size_t> mismatches; // indexes into keys
};

struct Preview {
    bool hid = false;
    std::string hostLayout; // the layout the keys were read with (HID)
    Sequence telegram;      // what a transponder brings
    Sequence removal;       // when it is taken away (empty without a Postcode)
    size_t Mismatches() const { return telegram.mismatches.size() + removal.mismatches.size(); }
};

// The preview of a configuration with the sample transponder; host is the
// layout of an HID reader's host (null: no host text; only characters the
// reader has no key for count as mismatches).
Preview Make(const Config& config, const Sample& sample, const HostLayout* host);

// Bytes as printable text: 20..7E as they are, control characters by name
// (<NUL> .. <US>, <DEL>), others as <xx> in hex.
std::string Printable(const Bytes& bytes);
std::string CharacterName(uint8_t character);
std::string Hex(const Bytes& bytes);

} // namespace OutputPreview
