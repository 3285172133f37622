// CDatenRegisterkarte: the model of the data page (how the reader turns what
// it reads into output). It keeps the page's members and, as plain data, the
// state of its controls; Refresh shows the members in the controls and
// Validate takes the controls over into the members with the page's checks,
// returning the message of the first failure (with the failing control).
//
// A representation above 4 (from a reader or a file) has no button: the page
// takes over the default (0, hexadecimal upper case) instead, notes the
// replacement and counts as changed until it is saved, so the unknown byte
// is never written into a reader. A register memory type outside 0..4
// selects no combo entry and is kept.
#pragma once

#include "KonfigDaten.h"
#include "SetupHost.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class CProfileFile;

class CDatenRegisterkarte {
public:
    enum Control {
        IdHexUpper = 1038,       // "Hexadezimal (ABCDEF)" = 0
        IdDecimal = 1037,        // "Dezimal" = 1
        IdAscii = 1040,          // "ASCII" = 2
        IdDecimalNoZeros = 1045, // "Dezimal (ohne Nullen)" = 3
        IdHexLower = 1042,       // "Hexadezimal (abcdef)" = 4
        IdEpc = 1048,            // data format "EPC" = 0
        IdBlocks = 1049,         // data format "Blöcke" = 1
        IdCharacterCount = 1028,
        IdUsedBytesLabel = 1034, // "Benutzte Bytes:"
        IdFirstUsedByte = 1022,
        IdDash = 1035, // "-"
        IdLastUsedByte = 1020,
        IdByteRotation = 1044,
        IdBitRotation = 1046,
        IdIdentifierBeforeLabel = 1036,
        IdIdentifierAfterLabel = 1039,
        IdIdentifierBefore = 1012,
        IdIdentifierAfter = 1013,
        IdInfoFrame = 1014,
        IdFunctionTest = 1027,
        IdReadBack = 1010,
    };
    static constexpr std::array<int, 4> TypeIds{1051, 1052, 1053, 1054};
    static constexpr std::array<int, 4> StartIds{1006, 1008, 1011, 1023};
    static constexpr std::array<int, 4> LengthIds{1007, 1009, 1016, 1024};
    static constexpr std::array<int, 5> InfoLineIds{1015, 1017, 1018, 1019, 1021};
    static constexpr std::array<int, 5> RepresentationIds{IdHexUpper, IdDecimal, IdAscii, IdDecimalNoZeros,
                                                          IdHexLower};
    // What a representation without a button becomes.
    static constexpr int DefaultRepresentation = 0;
    static bool HasRepresentation(int value) { return value >= 0 && value <= 4; }

    // The entries of the register type combos.
    static const std::array<const char*, 5>& TypeNames();

    // Page features from the connection flags.
    struct Features {
        // From the ConnectionFlag bits of the same names.
        bool hid = false; // the HID function test
        bool firstByteAndByteRotation = false;
        bool bitRotation = false;
        bool decimalNoZeros = false;
        bool identifiers = false;
        static Features FromFlags(int flags);
    };

    struct Register {
        int type = 0;       // memory type 0..4 ("-----", "Res.", "EPC", "TID", "USER"); controls: -1 none
        std::string start;  // decimal text
        std::string length; // decimal text
    };

    struct Members {
        int representation = 0;
        int dataFormat = 0; // 0 EPC, 1 Blöcke
        int characterCount = 10;
        int lastUsedByte = 5;
        bool byteRotation = false;
        bool bitRotation = false;
        int firstUsedByte = 1;
        std::string identifierBefore; // at most one character (UTF-8)
        std::string identifierAfter;
        std::array<Register, 4> registers{};
    };

    struct Controls {
        int representation = 0; // the checked button 0..4, -1 none
        int dataFormat = 0;
        std::string characterCount = "10";
        std::string lastUsedByte = "5";
        bool byteRotation = false;
        bool bitRotation = false;
        std::string firstUsedByte = "1";
        std::string identifierBefore;
        std::string identifierAfter;
        std::array<Register, 4> registers{};
    };

    // What the data format decides on the page.
    struct FormatState {
        bool registersEnabled = false; // the twelve register controls
        std::string frameCaption;      // frame 1014
        std::array<std::string, 5> lines{};
    };

    explicit CDatenRegisterkarte(int connectionFlags = 0);

    const Features& GetFeatures() const { return m_features; }
    Members& GetMembers() { return m_members; }
    const Members& GetMembers() const { return m_members; }
    Controls& GetControls() { return m_controls; }
    const Controls& GetControls() const { return m_controls; }

    // The page's window is created: show the members, take the snapshot, set
    // the data format state, apply the features (a hidden first used byte
    // becomes 1, hidden rotations off).
    void Show();
    bool IsShown() const { return m_shown; }
    // Whether a control is shown, by the features.
    bool IsVisible(int control) const;

    void Refresh();
    std::optional<SetupMessage> Validate();
    // 1 when the last validation failed on the register start check.
    int ErrorMarker() const { return m_errorMarker; }

    // The data format state for the member, or for a clicked button.
    void ApplyFormatState();
    void ClickDataFormat(int format);
    const FormatState& GetFormatState() const { return m_formatState; }
    static FormatState StateFor(int dataFormat);

    void ToRecord(KonfigDaten& record) const;
    void FromRecord(const KonfigDaten& record);
    // The Param block from a reader. Fewer than 24 bytes: unchanged, false.
    // Values that do not validate: the message is returned through message,
    // the format values fall back to their defaults, false.
    bool FromBlock(const uint8_t* bytes, size_t count, std::optional<SetupMessage>* message = nullptr);

    // The page's keys of section Data, with their defaults and clamps.
    void ReadProfile(const CProfileFile& file);
    static void ReadRecord(const CProfileFile& file, KonfigDaten& record);
    static void WriteProfile(const KonfigDaten& record, CProfileFile& file);

    void TakeSnapshot();
    // A change since the snapshot: only for a shown page whose controls
    // validate (a failure's message comes back through message). A replaced
    // representation counts as a change whether or not the page was shown.
    bool HasChanged(std::optional<SetupMessage>* message = nullptr);

    // The representation from the last block or record, when it had no
    // button and the default was taken over instead.
    const std::optional<ValueReplacement>& Replacement() const { return m_replacement; }
    // The replaced value is no longer anywhere (the file was saved).
    void ClearReplacement() { m_replacement.reset(); }

private:
    void ReplaceUnknownRepresentation();

    Features m_features;
    Members m_members;
    Controls m_controls;
    FormatState m_formatState;
    bool m_shown = false;
    int m_errorMarker = 0;
    std::optional<ValueReplacement> m_replacement;
    struct Snapshot {
        int characterCount = 10;
        int representation = 0;
        int lastUsedByte = 5;
    } m_snapshot;
};
