// LanSettings: the LAN settings dialog (159, "LAN Einstellung") without
// widgets.
//
// A network reader keeps its own address settings: an address from a DHCP
// server under a host name of up to 8 characters, or a fixed address, port
// and subnet mask. Opening reads them from the reader's network
// configuration block (record 0, 120 bytes) over a configuration channel;
// OK sends new ones (LinkLanSetAddress, after which the reader restarts),
// stores "LAN: " + the new address text as the program's port and then looks
// for the reader under its new address every 100 ms for up to 25 s.
//
// The five Link API calls go through LanLink so that tests run the whole
// procedure without a network, and the re-find's clock and pauses through
// RefindTimer so that tests do not wait 25 s.
//
// What OK refuses (the dialog stays open with a message):
//   - no mode chosen (a block that could not be read leaves none);
//   - DHCP: an empty name (the reader would keep its old name while the
//     port were stored as "[]", which no search ever finds), more than 8
//     characters, blanks, characters outside ASCII (the block holds 8 bytes)
//     and "[", "]", ":" (they end the bracketed name or the bus address of
//     the port name);
//   - fixed: an incomplete address, one that is no device address (0.x.x.x,
//     which includes 0.0.0.0 = DHCP; 224 and above: multicast, reserved and
//     the broadcast address 255.255.255.255, to which the configuration
//     channel would send to every reader at once), or the network or
//     broadcast address of its subnet; a subnet mask that is incomplete, not
//     contiguous (the reader keeps only its number of host bits, so
//     255.0.255.0 would silently become 255.255.255.0) or has fewer than 2
//     host bits or no network bits; a port outside 1..65535 (0 means "keep
//     the port" to the reader, yet "-0" would be stored).
#pragma once

#include "ProgramInfo.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <string>

class QObject;

namespace frontend {

class DeviceLists;

// The Link API calls of the network configuration.
class LanLink {
public:
    virtual ~LanLink() = default;
    // LinkLanOpenConfig: the configuration session, or a negative value.
    virtual int OpenConfig(const std::string& portName);
    // LinkLanReadConfig: the bytes read, or -1.
    virtual int ReadConfig(int id, int record, unsigned char* buffer, int size);
    // LinkLanCloseConfig.
    virtual int CloseConfig(int id, int restart);
    // LinkLanSetAddress: 0 when the reader took the settings.
    virtual int SetAddress(const std::string& portName, const std::string& addressText,
                           const std::string& maskText);
    // LinkLanFind: greater than 0 once a reader answers under the text.
    virtual int Find(const std::string& text);

    static LanLink& System();
};

// The clock of the re-find and its pauses between the searches.
class RefindTimer {
public:
    virtual ~RefindTimer() = default;
    // The elapsed time counts from here.
    virtual void Start();
    virtual qint64 Elapsed() const;
    // Runs step after ms milliseconds with the event loop running (not when
    // context is gone by then).
    virtual void After(int ms, QObject* context, std::function<void()> step);

private:
    QElapsedTimer m_clock;
};

// The fields of the network configuration block that the dialog uses.
struct LanBlock {
    static constexpr int Size = 120;
    static constexpr int HostBitsOffset = 6, PortOffset = 20, NameOffset = 112, NameLength = 8;

    bool dhcp = true;             // the address bytes are all 0
    std::array<int, 4> address{}; // bytes 0-3
    int hostBits = 0;             // byte 6
    int port = 0;                 // bytes 20-21, little-endian
    QString name;                 // up to 8 characters from byte 112, up to a NUL

    // False unless exactly Size bytes came.
    static bool Decode(const unsigned char* block, int size, LanBlock& out);
    // The mask with the bits from hostBits up to bit 31 set.
    static std::array<int, 4> MaskOfHostBits(int hostBits);
};

class LanSettings {
public:
    static constexpr int MaxNameLength = 8;
    static constexpr int RefindMs = 25000;   // how long the reader is looked for
    static constexpr int RefindStepMs = 100; // the pause between the searches

    enum Mode { NoMode = -1, Dhcp = 0, Fixed = 1 };
    enum class Field { None, Mode, Name, Address, Port, Mask };

    // What the dialog shows.
    struct Controls {
        int mode = NoMode;   // radio buttons 1251 (0) and 1252 (1)
        QString name;        // edit 1247
        QStringList address; // IP address editor 1243: four octet texts
        QString portText;    // edit 1246
        QStringList mask;    // IP address editor 1244
        bool nameEnabled = false;
        bool fixedEnabled = false; // address, port, mask
    };

    struct Message {
        QString caption; // "" = the program title
        QString text;
    };

    // lists null: the system's device lists (loading the settings checks the
    // stored name against them); link null: the link library.
    LanSettings(appkit::Program program, LanLink* link = nullptr, DeviceLists* lists = nullptr);
    // Closes a configuration session that is still open.
    ~LanSettings();
    LanSettings(const LanSettings&) = delete;
    LanSettings& operator=(const LanSettings&) = delete;

    Controls& controls() { return m_controls; }
    const Controls& controls() const { return m_controls; }

    // Opening: loads the connection settings, reads record 0 of the reader
    // they name and shows its values; the configuration session is closed
    // whatever happens. False (values empty: no mode, port 0) when the block
    // could not be read.
    bool Open();
    // The link port name the settings gave at opening.
    const QString& LinkPortName() const { return m_linkPortName; }
    // A radio button was clicked (the mode is in controls()): the enabling.
    void ModeChanged();

    // OK, first step: validates the values and forms the address and subnet
    // texts. False with the message and the field to correct.
    bool Validate(Message& message, Field& field);
    // The texts the last successful Validate formed: "192.168.0.20-10001"
    // or "[ABC]"; "255.255.255.0" or "" for DHCP.
    const QString& AddressText() const { return m_addressText; }
    const QString& SubnetText() const { return m_subnetText; }

    // OK, second step: loads the connection settings again, sends the new
    // settings to the reader and stores "LAN: " + the address text as the
    // port. False with the message when the reader did not take them: then
    // nothing is stored and there is nothing to look for.
    bool Send(Message& message);

    // OK, third step, every RefindStepMs from the send: sets the progress
    // to the elapsed time (show gets it before the search starts) and asks
    // whether the reader answers under its new address. True when it is
    // over: the reader was found, or RefindMs have passed (the new address
    // stays stored, so the next connect uses it).
    bool RefindStep(qint64 elapsedMs, const std::function<void(int progress)>& show = {});
    int Progress() const { return m_progress; }
    bool Found() const { return m_found; }

    // The address text and the subnet text of a mode and its values.
    static QString AddressText(int mode, const QString& name, const QStringList& address, int port);
    static QString SubnetText(int mode, const QStringList& mask);

private:
    void ShowBlock(const LanBlock& block);
    void CloseConfig();

    appkit::Program m_program;
    LanLink& m_link;
    DeviceLists* m_lists;
    Controls m_controls;
    QString m_linkPortName;
    int m_configSession = 0;
    QString m_addressText, m_subnetText;
    int m_progress = 0;
    bool m_found = false;
};

} // namespace frontend
