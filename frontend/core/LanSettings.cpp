#include "LanSettings.h"

#include "ConnectionSettings.h"
#include "DeviceLists.h"
#include "LanRecord.h"
#include "LinkApi.h"
#include "SettingsStore.h"
#include "Texts.h"

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cstdint>

namespace frontend {

namespace {

// Texts of the refusals and of a reader that did not take the settings.
constexpr int kIntegerExpected = 61696, kIntegerRange = 61697, kTooManyCharacters = 61700;
constexpr int kNoName = 10140, kBadNameCharacter = 10141, kBadAddress = 10142, kBadMask = 10143,
              kNoMode = 10144, kNotSent = 10145;

QString OctetText(int value) {
    return QString::number(value);
}

QStringList OctetTexts(const std::array<int, 4>& octets) {
    QStringList texts;
    for (int octet : octets)
        texts.append(OctetText(octet));
    return texts;
}

// The four octets of an editor, false when a field is empty or no octet.
bool Octets(const QStringList& texts, uint32_t& value) {
    if (texts.size() != 4) return false;
    value = 0;
    for (const QString& text : texts) {
        bool ok = false;
        const int octet = text.trimmed().toInt(&ok);
        if (!ok || octet < 0 || octet > 255) return false;
        value = (value << 8) | uint32_t(octet);
    }
    return true;
}

// The number of leading one bits of a contiguous mask, -1 for any other.
int PrefixLength(uint32_t mask) {
    const LanRecord::Octets octets{uint8_t(mask >> 24), uint8_t(mask >> 16), uint8_t(mask >> 8),
                                   uint8_t(mask)};
    const int hostBits = LanRecord::HostBits(octets);
    return LanRecord::Mask(hostBits) == octets ? 32 - hostBits : -1;
}

} // namespace

// --- The Link API -------------------------------------------------------------

int LanLink::OpenConfig(const std::string& portName) {
    return LinkLanOpenConfig(portName.c_str());
}

int LanLink::ReadConfig(int id, int record, unsigned char* buffer, int size) {
    return LinkLanReadConfig(id, record, buffer, size);
}

int LanLink::CloseConfig(int id, int restart) {
    return LinkLanCloseConfig(id, restart);
}

int LanLink::SetAddress(const std::string& portName, const std::string& addressText,
                        const std::string& maskText) {
    return LinkLanSetAddress(portName.c_str(), addressText.c_str(), maskText.c_str());
}

int LanLink::Find(const std::string& text) {
    return LinkLanFind(text.c_str());
}

LanLink& LanLink::System() {
    static LanLink link;
    return link;
}

// --- The re-find's clock ------------------------------------------------------

void RefindTimer::Start() {
    m_clock.start();
}

qint64 RefindTimer::Elapsed() const {
    return m_clock.isValid() ? m_clock.elapsed() : 0;
}

void RefindTimer::After(int ms, QObject* context, std::function<void()> step) {
    QTimer::singleShot(ms, context, std::move(step));
}

// --- The block ----------------------------------------------------------------

bool LanBlock::Decode(const unsigned char* block, int size, LanBlock& out) {
    out = LanBlock();
    // Exactly the record: a longer answer is no record 0 either.
    if (!block || size != Size) return false;
    const LanRecord::Settings record = LanRecord::Decode(block, size_t(size));
    for (size_t i = 0; i < 4; ++i)
        out.address[i] = record.address[i];
    out.dhcp = record.dhcp;
    out.hostBits = record.hostBits;
    out.port = record.port;
    out.name = QString::fromLatin1(record.dhcpName.data(), int(record.dhcpName.size()));
    return true;
}

std::array<int, 4> LanBlock::MaskOfHostBits(int hostBits) {
    const LanRecord::Octets mask = LanRecord::Mask(hostBits);
    return {mask[0], mask[1], mask[2], mask[3]};
}

// --- The dialog ---------------------------------------------------------------

LanSettings::LanSettings(appkit::Program program, LanLink* link, DeviceLists* lists)
    : m_program(program), m_link(link ? *link : LanLink::System()), m_lists(lists) {
    m_controls.address = m_controls.mask = QStringList(4, QString());
    m_controls.portText = QStringLiteral("0");
    ModeChanged();
}

LanSettings::~LanSettings() {
    CloseConfig();
}

void LanSettings::CloseConfig() {
    if (m_configSession > 0) m_link.CloseConfig(m_configSession, 0);
    m_configSession = 0;
}

bool LanSettings::Open() {
    const ConnectionSettings settings = ConnectionSettings::Loaded(m_program, m_lists);
    m_linkPortName = settings.LinkPortName();
    bool shown = false;
    // Only a network port names a reader to ask; anything else would send
    // the configuration requests to whatever host the name resolves to.
    if (ConnectionSettings::IsLanName(settings.name)) {
        const int session = m_link.OpenConfig(m_linkPortName.toStdString());
        if (session > 0) {
            m_configSession = session;
            unsigned char block[LanBlock::Size] = {};
            LanBlock decoded;
            if (LanBlock::Decode(block, m_link.ReadConfig(session, 0, block, LanBlock::Size), decoded)) {
                ShowBlock(decoded);
                shown = true;
            }
        }
        CloseConfig();
    }
    ModeChanged();
    return shown;
}

void LanSettings::ShowBlock(const LanBlock& block) {
    m_controls.mode = block.dhcp ? Dhcp : Fixed;
    m_controls.address = OctetTexts(block.address);
    // A DHCP reader's byte 6 means nothing: the usual mask is offered.
    m_controls.mask = OctetTexts(block.dhcp ? std::array<int, 4>{255, 255, 255, 0}
                                            : LanBlock::MaskOfHostBits(block.hostBits));
    m_controls.portText = QString::number(block.port);
    m_controls.name = block.name;
}

void LanSettings::ModeChanged() {
    m_controls.nameEnabled = m_controls.mode == Dhcp;
    m_controls.fixedEnabled = m_controls.mode == Fixed;
}

QString LanSettings::AddressText(int mode, const QString& name, const QStringList& address, int port) {
    if (mode == Dhcp) return QLatin1Char('[') + name + QLatin1Char(']');
    QStringList octets;
    for (const QString& octet : address)
        octets.append(QString::number(octet.trimmed().toInt()));
    return octets.join(QLatin1Char('.')) + QLatin1Char('-') + QString::number(port);
}

QString LanSettings::SubnetText(int mode, const QStringList& mask) {
    if (mode == Dhcp) return QString();
    QStringList octets;
    for (const QString& octet : mask)
        octets.append(QString::number(octet.trimmed().toInt()));
    return octets.join(QLatin1Char('.'));
}

bool LanSettings::Validate(Message& message, Field& field) {
    auto refuse = [&](Field which, const QString& text) {
        message.caption.clear();
        message.text = text;
        field = which;
        return false;
    };
    auto text = [this](int id) { return appkit::Texts::String(m_program, id); };
    field = Field::None;
    const Controls& c = m_controls;
    int port = 0;
    if (c.mode == Dhcp) {
        if (c.name.isEmpty()) return refuse(Field::Name, text(kNoName));
        if (c.name.size() > MaxNameLength)
            return refuse(Field::Name, text(kTooManyCharacters).arg(MaxNameLength));
        // Empty and too long are refused above with their own texts; what
        // is left is a character the name cannot hold (one outside ASCII
        // takes more than one byte in UTF-8 and is refused as such).
        if (LanRecord::DhcpNameProblem(c.name.toStdString()))
            return refuse(Field::Name, text(kBadNameCharacter));
    } else if (c.mode == Fixed) {
        uint32_t address = 0, mask = 0;
        if (!Octets(c.address, address)) return refuse(Field::Address, text(kBadAddress));
        const uint32_t first = address >> 24;
        if (first == 0 || first >= 224) return refuse(Field::Address, text(kBadAddress));
        bool ok = false;
        port = c.portText.trimmed().toInt(&ok);
        if (!ok) return refuse(Field::Port, text(kIntegerExpected));
        if (port < 1 || port > 65535) return refuse(Field::Port, text(kIntegerRange).arg(1).arg(65535));
        const int prefix = Octets(c.mask, mask) ? PrefixLength(mask) : -1;
        if (prefix < 1 || prefix > 30) return refuse(Field::Mask, text(kBadMask));
        const uint32_t host = address & ~mask;
        if (host == 0 || host == ~mask) return refuse(Field::Address, text(kBadAddress));
    } else {
        return refuse(Field::Mode, text(kNoMode));
    }
    m_addressText = AddressText(c.mode, c.name, c.address, port);
    m_subnetText = SubnetText(c.mode, c.mask);
    return true;
}

bool LanSettings::Send(Message& message) {
    m_found = false;
    m_progress = 0;
    const ConnectionSettings settings = ConnectionSettings::Loaded(m_program, m_lists);
    m_linkPortName = settings.LinkPortName();
    // A port that is no network port has no network settings to change; and
    // a reader that did not take the settings is still where it was, so its
    // stored port must stay.
    const bool sent = ConnectionSettings::IsLanName(settings.name) &&
                      m_link.SetAddress(m_linkPortName.toStdString(), m_addressText.toStdString(),
                                        m_subnetText.toStdString()) == 0;
    if (!sent) {
        message.caption.clear();
        message.text = appkit::Texts::String(m_program, kNotSent);
        return false;
    }
    appkit::SettingsStore store(m_program);
    store.WriteString(ConnectionSettings::Section, ConnectionSettings::Key(PortSettings::Name),
                      ConnectionSettings::LanPrefix + m_addressText);
    store.Sync();
    return true;
}

bool LanSettings::RefindStep(qint64 elapsedMs, const std::function<void(int)>& show) {
    m_progress = int(std::clamp<qint64>(elapsedMs, 0, RefindMs));
    if (show) show(m_progress);
    if (elapsedMs >= RefindMs) return true;
    m_found = m_link.Find(m_addressText.toStdString()) > 0;
    return m_found;
}

} // namespace frontend
