#include "ParamRegisterkarte.h"

#include "ConfigImage.h"
#include "LinkVocabulary.h"
#include "PageValidation.h"
#include "ProfileFile.h"
#include "WinLatin1.h"

const std::array<int, 4>& CParamRegisterkarte::SetBaudRates() {
    static const std::array<int, 4> rates{2400, 4800, 9600, 19200};
    return rates;
}

bool CParamRegisterkarte::IsKnownMode(int mode) {
    return (mode >= 0 && mode <= 3) || mode == 5 || mode == 6;
}

void CParamRegisterkarte::ReplaceUnknownMode() {
    if (IsKnownMode(m_members.mode)) return;
    m_replacement = ValueReplacement{"Betriebsart", m_members.mode, DefaultMode};
    m_members.mode = DefaultMode;
}

CParamRegisterkarte::CParamRegisterkarte(int connectionFlags)
    : m_sensorFeature((connectionFlags & ConnectionFlag::Relay) != 0) {
    m_state.sensorVisible = m_sensorFeature;
    Refresh();
}

void CParamRegisterkarte::Show(ISetupHost& host) {
    std::string port = host.GetSetting(PortSettings::Section, PortSettings::Name, "");
    if (port.empty()) {
        port = PortSettings::DefaultName;
        host.SetSetting(PortSettings::Section, PortSettings::Name, port);
    }
    if (LinkPort::IsUsbListForm(port)) m_state.setBaudEnabled = false;
    ApplyModeState();
}

void CParamRegisterkarte::ApplyModeState() {
    State& s = m_state;
    switch (m_members.mode) {
    case 0:
    case 6:
        s.timeoutEnabled = true, s.cycleTimeEnabled = false, s.requestEnabled = false;
        break;
    case 1:
        s.timeoutEnabled = false, s.cycleTimeEnabled = false, s.requestEnabled = true;
        break;
    case 3:
        s.timeoutEnabled = false, s.cycleTimeEnabled = true, s.requestEnabled = false;
        break;
    case 5:
        s.timeoutEnabled = true, s.cycleTimeEnabled = true, s.requestEnabled = false;
        break;
    default:
        break;
    }
    s.sensorVisible = m_sensorFeature;
}

void CParamRegisterkarte::ClickMode(int mode) {
    m_members.mode = mode;
    m_controls.mode = mode;
    ApplyModeState();
}

void CParamRegisterkarte::Refresh() {
    const Members& m = m_members;
    Controls& c = m_controls;
    c.mode = (m.mode >= 0 && m.mode <= 3) ? m.mode : -1;
    c.sensor = m.sensor;
    c.currentBaud = std::to_string(m.currentBaud);
    c.cycleTime = std::to_string(m.cycleTime);
    c.timeout = std::to_string(m.timeout);
    c.request = m.request;
}

std::optional<SetupMessage> CParamRegisterkarte::Validate() {
    Members& m = m_members;
    const Controls& c = m_controls;
    if (c.mode >= 0)
        m.mode = c.mode;
    else
        ReplaceUnknownMode(); // no button checked: a mode 5 or 6 stays, no other byte
    if (auto failure = PageValidation::Integer(c.currentBaud, IdCurrentBaud, m.currentBaud)) return failure;
    if (auto failure = PageValidation::IntegerInRange(c.cycleTime, 100, 12700, IdCycleTime, m.cycleTime))
        return failure;
    if (auto failure = PageValidation::IntegerInRange(c.timeout, 100, 12700, IdTimeout, m.timeout))
        return failure;
    m.request = c.request;
    if (auto failure = PageValidation::MaxChars(c.request, 1, IdRequest)) return failure;
    m.sensor = c.sensor;
    return std::nullopt;
}

void CParamRegisterkarte::ToRecord(KonfigDaten& record) const {
    const Members& m = m_members;
    record.Betriebsart = static_cast<uint8_t>(m.mode + (m.sensor ? 0x10 : 0));
    record.Zykluszeit = m.cycleTime;
    record.Aufforderung = m.request.empty() ? '?' : static_cast<uint8_t>(WinLatin1::FirstByte(m.request));
    record.TimeoutRS232 = m.timeout;
    record.Baudrate = m.currentBaud;
}

void CParamRegisterkarte::FromRecord(const KonfigDaten& record) {
    Members& m = m_members;
    m_replacement.reset();
    m.mode = record.Betriebsart & 0x0F;
    ReplaceUnknownMode();
    m.sensor = (record.Betriebsart & 0x10) != 0;
    m.cycleTime = record.Zykluszeit;
    m.timeout = record.TimeoutRS232;
    m.request = WinLatin1::ToUtf8(record.Aufforderung);
    ShowCurrentBaudRate(record.Baudrate);
    if (!ChooseBaudRate(record.Baudrate)) ChooseBaudRate(19200);
}

bool CParamRegisterkarte::FromBlock(const uint8_t* bytes, size_t count, int baudInUse,
                                    std::optional<SetupMessage>* message) {
    if (!bytes || count < 2) return false;
    uint8_t block[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < 4 && i < count; ++i)
        block[i] = bytes[i];
    Members& m = m_members;
    m.currentBaud = baudInUse;
    m_replacement.reset();
    m.mode = block[0] & 0x0F;
    ReplaceUnknownMode();
    m.sensor = (block[0] & 0x10) != 0;
    m.cycleTime = block[1] * 100;
    m.request = block[2] > 31 ? WinLatin1::ToUtf8(block[2]) : std::string("?");
    m.timeout = (block[3] >= 1 && block[3] <= 127) ? block[3] * 100 : 500;
    Refresh();
    std::optional<SetupMessage> failure = Validate();
    if (!failure) {
        ApplyModeState();
        return true;
    }
    if (message) *message = failure;
    m = Members();
    Refresh();
    ApplyModeState();
    return false;
}

void CParamRegisterkarte::ReadRecord(const CProfileFile& file, KonfigDaten& record) {
    const std::string s = "Data";
    record.Betriebsart = static_cast<uint8_t>(CProfileFile::Atoi(file.GetString(s, "Betriebsart", "0", 9)));
    record.Zykluszeit = CProfileFile::Atoi(file.GetString(s, "Zykluszeit", "1000", 9));
    record.Baudrate = CProfileFile::Atoi(file.GetString(s, "Baudrate", "19200", 9));
    const std::string request = file.GetString(s, "Aufforderung", "?", 9);
    record.Aufforderung = request.empty() || static_cast<unsigned char>(request[0]) < 0x20
                              ? '?'
                              : static_cast<uint8_t>(request[0]);
    record.TimeoutRS232 = CProfileFile::Atoi(file.GetString(s, "TimeoutRS232", "500", 9));
}

void CParamRegisterkarte::ReadProfile(const CProfileFile& file) {
    KonfigDaten record;
    ReadRecord(file, record);
    FromRecord(record);
    Refresh();
    ApplyModeState();
}

void CParamRegisterkarte::WriteProfile(const KonfigDaten& record, CProfileFile& file) {
    const std::string s = "Data";
    file.Set(s, "Betriebsart", std::to_string(unsigned(record.Betriebsart)));
    file.Set(s, "Zykluszeit", std::to_string(record.Zykluszeit));
    file.Set(s, "Baudrate", std::to_string(record.Baudrate));
    file.Set(s, "Aufforderung", std::string(1, char(record.Aufforderung)));
    file.Set(s, "TimeoutRS232", std::to_string(record.TimeoutRS232));
}

void CParamRegisterkarte::ShowCurrentBaudRate(int baud) {
    m_members.currentBaud = baud;
    m_controls.currentBaud = std::to_string(baud);
}

int CParamRegisterkarte::ChosenBaudRate() const {
    const int index = m_controls.setBaud;
    return index >= 0 && index < int(SetBaudRates().size()) ? SetBaudRates()[size_t(index)] : 0;
}

std::string CParamRegisterkarte::SetBaudText() const {
    const int rate = ChosenBaudRate();
    return rate ? std::to_string(rate) : std::string();
}

bool CParamRegisterkarte::ChooseBaudRate(int baud) {
    for (size_t i = 0; i < SetBaudRates().size(); ++i) {
        if (SetBaudRates()[i] == baud) {
            m_controls.setBaud = int(i);
            return true;
        }
    }
    m_controls.setBaud = -1;
    return false;
}
