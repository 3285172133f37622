// CParamRegisterkarte: the model of the parameter page of a normal reader
// (operating mode, sensor input, baud rates, cycle time, timeout, request
// character), with its members, the plain-data state of its controls and the
// mode dependent enabling.
//
// The modes 5 and 6 have no button but are modes of the readers: they check
// no button, and taking over keeps them as they are (never as 0xFF). Any
// other mode without a button (4, 7..15 from a reader or a file) is no mode:
// the page takes over mode 0 instead, notes the replacement and counts as
// changed until it is saved, so that byte is never written into a reader.
#pragma once

#include "KonfigDaten.h"
#include "SetupHost.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class CProfileFile;

class CParamRegisterkarte {
public:
    enum Control {
        IdMode0 = 1019,     // "Mode 0 : Einmalig bei  Auflegen und Abziehen"
        IdMode1 = 1022,     // "Mode 1 : Bei Aufforderung, ob Transp. vorhanden oder nicht"
        IdModeEmpty = 1031, // the hidden "Leer" (2)
        IdMode3 = 1028,     // "Mode 3 : Zyklisch, wenn Transponder vorhanden"
        IdSensor = 1037,    // "Sensoreingang aktivieren"
        IdCurrentBaud = 1024,
        IdSetBaud = 1026, // "Setzen:" list
        IdCycleTime = 1023,
        IdTimeout = 1002,
        IdRequest = 1025,
        IdFunctionTest = 1027,
        IdReadBack = 1010,
    };
    // The entries of the "Setzen:" list.
    static const std::array<int, 4>& SetBaudRates();
    // The modes the page knows: 0, 1, 3 (buttons), 2 (the hidden button),
    // 5 and 6 (no button). Others become DefaultMode.
    static bool IsKnownMode(int mode);
    static constexpr int DefaultMode = 0;

    struct Members {
        int mode = 0; // 0..15
        bool sensor = false;
        int currentBaud = 19200;
        int cycleTime = 1000;
        int timeout = 500;
        std::string request = "?"; // at most one character (UTF-8)
    };

    struct Controls {
        int mode = 0; // the checked button: 0, 1, 2 (hidden), 3; -1 none
        bool sensor = false;
        std::string currentBaud = "19200"; // read-only
        int setBaud = -1;                  // "Setzen:" selection, index into SetBaudRates(), -1 none
        std::string cycleTime = "1000";
        std::string timeout = "500";
        std::string request = "?";
    };

    // Enabling and visibility that the page decides.
    struct State {
        bool timeoutEnabled = true;
        bool cycleTimeEnabled = true;
        bool requestEnabled = true;
        bool sensorVisible = false;
        bool setBaudEnabled = true;
    };

    explicit CParamRegisterkarte(int connectionFlags = 0);

    bool SensorFeature() const { return m_sensorFeature; }
    Members& GetMembers() { return m_members; }
    const Members& GetMembers() const { return m_members; }
    Controls& GetControls() { return m_controls; }
    const Controls& GetControls() const { return m_controls; }
    const State& GetState() const { return m_state; }

    // Showing the page: the stored port name ("COM1" stored when empty); a
    // "USB: " port disables the "Setzen:" list; then the mode state.
    void Show(ISetupHost& host);
    // The mode dependent state for the member mode.
    void ApplyModeState();
    // A mode button was clicked (0, 1 or 3).
    void ClickMode(int mode);

    void Refresh();
    std::optional<SetupMessage> Validate();

    void ToRecord(KonfigDaten& record) const;
    void FromRecord(const KonfigDaten& record);
    // The ModeParam block (the dialog hands over all 4 bytes of a zero-filled
    // buffer; missing bytes count as 0). Fewer than 2 bytes: unchanged, false.
    // Values that do not validate: message returned, defaults, false.
    bool FromBlock(const uint8_t* bytes, size_t count, int baudInUse,
                   std::optional<SetupMessage>* message = nullptr);

    // The five parameter keys of section Data.
    void ReadProfile(const CProfileFile& file);
    static void ReadRecord(const CProfileFile& file, KonfigDaten& record);
    static void WriteProfile(const KonfigDaten& record, CProfileFile& file);

    // The value becomes the current baud rate, shown at once.
    void ShowCurrentBaudRate(int baud);
    // The "Setzen:" selection: the rate chosen, or 0 for none.
    int ChosenBaudRate() const;
    // The text of the "Setzen:" list ("" when nothing is chosen).
    std::string SetBaudText() const;
    void ClearSetBaud() { m_controls.setBaud = -1; }
    // Selects the entry of a rate; false (and no selection) for another rate.
    bool ChooseBaudRate(int baud);

    // The mode from the last block or record, when it was no mode and
    // DefaultMode was taken over instead.
    const std::optional<ValueReplacement>& Replacement() const { return m_replacement; }
    // The replaced value is no longer anywhere (the file was saved).
    void ClearReplacement() { m_replacement.reset(); }

private:
    void ReplaceUnknownMode();

    bool m_sensorFeature;
    Members m_members;
    Controls m_controls;
    State m_state;
    std::optional<ValueReplacement> m_replacement;
};
