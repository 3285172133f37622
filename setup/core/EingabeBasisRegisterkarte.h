// CEingabeBasisRegisterkarte: the model of a key sequence page (Prefix,
// Suffix, Abziehen, Register Trenner). It holds the sequence, the changed
// flag, and as plain data the state of the two controls a dialog binds: the
// code entry combo (its list selection and its text) and the item list (its
// selected rows). The editing operations return the message to show, if any.
#pragma once

#include "SetupHost.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CProfileFile;

struct KeyItem {
    uint8_t code = 0;
    std::string name; // display only; the file and the reader keep the code
};

class CEingabeBasisRegisterkarte {
public:
    // Control ids of the page.
    enum Control {
        IdLabel = 1018,  // "HEX oder Zeichen:"
        IdEntry = 1040,  // code entry combo with its always-visible list
        IdAccept = 1025, // "Übernehmen"
        IdDelete = 1022, // "Zeichen Löschen"
        IdClear = 1023,  // "Seite Löschen"
        IdUp = 1119,
        IdDown = 1120,
        IdFunctionTest = 1026, // "Funktionstest"
        IdReadBack = 1024,     // "Inhalt lesen"
        IdList = 1020,         // the items
    };
    static constexpr int MaxItems = 15;

    // The state of the code entry combo.
    struct Entry {
        int listSelection = -1;    // selected list entry = its code, -1 none
        std::string text;          // the edit text (UTF-8)
        bool textSelected = false; // the whole text is selected for overtyping
    };

    // captionId: 500, 501, 502 or 520; headerId: 524..527.
    CEingabeBasisRegisterkarte(int captionId, int headerId, bool hid = false);

    std::string Caption() const;
    std::string Header() const;
    bool IsHid() const { return m_hid; }

    const std::vector<KeyItem>& Items() const { return m_items; }
    // One row per item: "%02X H     " and the name.
    std::vector<std::string> Rows() const;
    static std::string RowText(const KeyItem& item);

    bool Changed() const { return m_changed; }
    void SetChanged(bool changed) { m_changed = changed; }
    // The last file read did not load this sequence (message 531): what the
    // page holds is not the file's, so it is not programmed until the page
    // gets a sequence again (from a file, from the reader, or by an edit).
    bool LoadRefused() const { return m_loadRefused; }

    // --- controls ---
    const Entry& GetEntry() const { return m_entry; }
    // The user typed: the list selection goes away.
    void TypeEntry(const std::string& text);
    // The user picked list entry code (0..143): selected, its text in the edit.
    void PickEntry(int code);
    // Selected rows of the item list, ascending.
    const std::vector<int>& SelectedRows() const { return m_selected; }
    void SelectRows(std::vector<int> rows);
    // Whether the last operation put the focus into the code entry.
    bool FocusToEntry() const { return m_focusEntry; }

    // --- operations ---
    // "Übernehmen" (and a double click in the code list).
    std::optional<SetupMessage> Accept();
    // "Zeichen Löschen".
    std::optional<SetupMessage> DeleteSelected();
    // "Seite Löschen".
    void ClearAll();
    void MoveUp();
    void MoveDown();
    // Empties the sequence (loading a file); the changed flag stays.
    void Empty();

    // The bytes read from a reader: all but the last (the end mark) become
    // the sequence, whatever their values. Always succeeds.
    void FromBlock(const uint8_t* bytes, size_t count);
    // The codes, then 0xFF.
    std::vector<uint8_t> ToBlock() const;
    void AppendBlock(std::vector<uint8_t>& block) const;

    // Section of a .mkr file: Count, then Ascii0.. A Count above 15 leaves
    // the sequence as it is, marks the load refused and returns message 531.
    std::optional<SetupMessage> ReadProfile(const CProfileFile& file, const std::string& section);
    // Writes at most MaxItems codes (a longer sequence, as a reader may hold
    // one, would not load again) and returns how many were written.
    size_t WriteProfile(CProfileFile& file, const std::string& section) const;

    // Replaces the sequence (codes named by the name table).
    void SetCodes(const std::vector<uint8_t>& codes);

private:
    // An edit by the user: the page changed, and holds what the user wants.
    void Edited();

    int m_captionId;
    int m_headerId;
    bool m_hid;
    std::vector<KeyItem> m_items;
    bool m_changed = false;
    bool m_loadRefused = false;
    Entry m_entry;
    std::vector<int> m_selected;
    bool m_focusEntry = false;
};
