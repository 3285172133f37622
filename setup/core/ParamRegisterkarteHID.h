// CParamRegisterkarteHID: the model of the parameter page of an HID reader:
// the reader timeout and the keyboard table with its 48 key buttons,
// "Aus Gerät laden" and "Computer Einstellung".
//
// An HID reader types like a keyboard: mode 0, cycle time 1000 ms, request
// "?" and 19200 baud are fixed; only the timeout is the user's.
#pragma once

#include "HidKeyTable.h"
#include "KonfigDaten.h"
#include "SetupHost.h"

#include <cstdint>
#include <optional>
#include <string>

class CProfileFile;

class CParamRegisterkarteHID {
public:
    enum Control {
        IdTimeout = 1002,
        IdLoadFromDevice = 1011, // "Aus Gerät laden"
        IdComputer = 1012,       // "Computer Einstellung"
        IdFunctionTest = 1024,   // the HID function test
        IdReadBack = 1010,       // "Inhalt lesen"
    };
    static constexpr int DefaultTimeout = 500;

    struct Members {
        int timeout = DefaultTimeout; // 100..12700 ms
    };
    struct Controls {
        std::string timeout = "500"; // digits only
    };

    CParamRegisterkarteHID();

    Members& GetMembers() { return m_members; }
    const Members& GetMembers() const { return m_members; }
    Controls& GetControls() { return m_controls; }
    const Controls& GetControls() const { return m_controls; }

    CHidKeyTable& Table() { return m_table; }
    const CHidKeyTable& Table() const { return m_table; }
    // The text of key button 0..47 (CHidKeyTable::ButtonText).
    std::string ButtonText(int button) const { return m_table.ButtonText(button); }

    void Refresh();
    // The timeout, integer 100..12700, with the standard range message.
    std::optional<SetupMessage> Validate();

    // Betriebsart 0, Zykluszeit 1000, Aufforderung "?", Baudrate 19200,
    // TimeoutRS232 = the timeout.
    void ToRecord(KonfigDaten& record) const;
    // The timeout only.
    void FromRecord(const KonfigDaten& record);
    // The ModeParam block: fewer than 2 bytes refused (false, unchanged);
    // timeout = byte 3 x 100 for 1..127, else 500 (a missing byte 3 counts
    // as 0). A value that does not validate: its message, 500, false.
    bool FromBlock(const uint8_t* bytes, size_t count, std::optional<SetupMessage>* message = nullptr);

    // TimeoutRS232 of section Data (default 500) into a record with the HID
    // fixed values; FromRecord; Refresh. The table is read separately.
    void ReadProfile(const CProfileFile& file);
    static void ReadRecord(const CProfileFile& file, KonfigDaten& record);
    // TimeoutRS232 only.
    static void WriteProfile(const KonfigDaten& record, CProfileFile& file);
    // Section HID_KEYS.
    void ReadKeyTable(const CProfileFile& file) { m_table.ReadProfile(file); }
    void WriteKeyTable(CProfileFile& file) const { m_table.WriteProfile(file); }

    // "Computer Einstellung": the table of this computer's layout, or of a
    // named one. A keymap that cannot be made leaves the table and returns
    // the message to show.
    std::optional<SetupMessage> TakeFromComputer();
    std::optional<SetupMessage> TakeFromLayout(const std::string& layoutName);

    // "Aus Gerät laden": connect with the stored settings (messages on),
    // read the table, close the session. No connection or a reader that does
    // not answer: 522 shown, false. The channel comes from channels (the
    // Link API's by default).
    bool LoadFromDevice(ISetupHost& host);
    void SetChannelFactory(HidChannelFactory channels) { m_channels = std::move(channels); }
    const HidChannelFactory& ChannelFactory() const { return m_channels; }

private:
    Members m_members;
    Controls m_controls;
    CHidKeyTable m_table;
    HidChannelFactory m_channels;
};
