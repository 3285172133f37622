#include "ParamRegisterkarteHID.h"

#include "HostKeyboard.h"
#include "PageValidation.h"
#include "ProfileFile.h"
#include "SetupText.h"

namespace {

SetupMessage KeymapMessage(const std::string& reason) {
    SetupMessage message;
    message.id = 640;
    message.text = SetupText::Formatted(640, {reason});
    message.icon = MessageIcon::Exclamation;
    return message;
}

} // namespace

CParamRegisterkarteHID::CParamRegisterkarteHID() : m_channels(LinkHidChannels()) {
    Refresh();
}

void CParamRegisterkarteHID::Refresh() {
    m_controls.timeout = std::to_string(m_members.timeout);
}

std::optional<SetupMessage> CParamRegisterkarteHID::Validate() {
    return PageValidation::IntegerInRange(m_controls.timeout, 100, 12700, IdTimeout, m_members.timeout);
}

void CParamRegisterkarteHID::ToRecord(KonfigDaten& record) const {
    record.Betriebsart = 0;
    record.Zykluszeit = 1000;
    record.Aufforderung = '?';
    record.Baudrate = 19200;
    record.TimeoutRS232 = m_members.timeout;
}

void CParamRegisterkarteHID::FromRecord(const KonfigDaten& record) {
    m_members.timeout = record.TimeoutRS232;
}

bool CParamRegisterkarteHID::FromBlock(const uint8_t* bytes, size_t count,
                                       std::optional<SetupMessage>* message) {
    if (!bytes || count < 2) return false;
    const uint8_t timeout = count >= 4 ? bytes[3] : 0;
    m_members.timeout = (timeout >= 1 && timeout <= 127) ? timeout * 100 : DefaultTimeout;
    Refresh();
    if (std::optional<SetupMessage> failure = Validate()) {
        if (message) *message = failure;
        m_members.timeout = DefaultTimeout;
        Refresh();
        return false;
    }
    return true;
}

void CParamRegisterkarteHID::ReadRecord(const CProfileFile& file, KonfigDaten& record) {
    record.Betriebsart = 0;
    record.Zykluszeit = 1000;
    record.Baudrate = 19200;
    record.Aufforderung = '?';
    record.TimeoutRS232 = CProfileFile::Atoi(file.GetString("Data", "TimeoutRS232", "500", 9));
}

void CParamRegisterkarteHID::ReadProfile(const CProfileFile& file) {
    KonfigDaten record;
    ReadRecord(file, record);
    FromRecord(record);
    Refresh();
}

void CParamRegisterkarteHID::WriteProfile(const KonfigDaten& record, CProfileFile& file) {
    file.Set("Data", "TimeoutRS232", std::to_string(record.TimeoutRS232));
}

std::optional<SetupMessage> CParamRegisterkarteHID::TakeFromComputer() {
    std::string error;
    if (!HostKeyboard::FromHost(m_table, &error)) return KeymapMessage(error);
    return std::nullopt;
}

std::optional<SetupMessage> CParamRegisterkarteHID::TakeFromLayout(const std::string& layoutName) {
    std::string error;
    if (!HostKeyboard::FromLayout(m_table, layoutName, &error)) return KeymapMessage(error);
    return std::nullopt;
}

bool CParamRegisterkarteHID::LoadFromDevice(ISetupHost& host) {
    const SetupConnection connection = host.Connect(true);
    if (!connection.Connected()) {
        host.ShowMessage(SetupMessage::FromId(522));
        return false;
    }
    bool loaded = false;
    if (std::unique_ptr<IHidChannel> channel = m_channels ? m_channels(connection.session) : nullptr)
        loaded = m_table.LoadFromReader(*channel);
    if (!loaded) host.ShowMessage(SetupMessage::FromId(522));
    host.CloseSession(connection.session);
    return loaded;
}
