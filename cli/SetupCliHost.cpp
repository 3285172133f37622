#include "SetupCliHost.h"

#include "BluetoothWait.h"
#include "ConnectionSettings.h"
#include "LinkVocabulary.h"
#include "ProfileFile.h"
#include "Progress.h"
#include "SettingsStore.h"
#include "StoredPort.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace Cli {

std::string WithLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::unique_ptr<CSeriellEinstellModel> LoadShownFile(ISetupHost& host, const std::string& file, bool& hid) {
    if (access(file.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "kvplm: cannot read %s\n", file.c_str());
        return nullptr;
    }
    CProfileFile profile;
    hid = profile.Load(file) && CHidKeyTable::InProfile(profile);
    auto model = std::make_unique<CSeriellEinstellModel>(
        0, PortSettings::DefaultBaudrate, ConnectionFlag::Connected | (hid ? ConnectionFlag::Hid : 0));
    if (!model->LoadFile(host, file)) return nullptr;
    ReportReplacements(model->Replacements(), file);
    return model;
}

void ReportReplacements(const std::vector<ValueReplacement>& replaced, const std::string& source) {
    for (const ValueReplacement& value : replaced) {
        const bool mode = value.field == "Betriebsart";
        std::fprintf(stderr, "kvplm: %s: %s %s%d has no button on its page; %s%d is taken over instead\n",
                     source.c_str(), value.field.c_str(), mode ? "mode " : "", value.from,
                     mode ? "mode " : "", value.to);
    }
}

namespace {
// PORT "-" works on the settings of Morvane themselves.
bool Stored(const std::string& port) {
    return port == "-";
}
} // namespace

CSetupCliHost::CSetupCliHost(const std::string& port, const Options& options, const std::string& file)
    : m_port(port), m_file(file), m_options(options) {
    if (Stored(port)) appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
    m_settings[PortSettings::Path(PortSettings::Name)] = port;
    m_settings[PortSettings::Path(PortSettings::Baudrate)] =
        std::to_string(PackedBaud::Pack(options.baud, options.format));
    m_settings[PortSettings::Path(PortSettings::Timeout)] = std::to_string(options.timeout);
}

MessageAnswer CSetupCliHost::ShowMessage(const SetupMessage& message) {
    const bool error = message.icon == MessageIcon::Exclamation || message.icon == MessageIcon::Error;
    ProgressLine::ClearShown();
    std::string text = WithLf(message.text);
    if (text.empty() || text.back() != '\n') text += '\n';
    if (error) {
        m_error = true;
        std::fputs(text.c_str(), stderr);
    } else {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }
    // Nothing here asks; a question is answered No, so nothing is saved by surprise.
    return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

SetupConnection CSetupCliHost::Connect(bool withMessages) {
    if (Stored(m_port)) {
        // The stored-settings connect prints its own reason on failure.
        m_last = ReaderConnect::Result{};
        const int id = OpenStoredPort(m_options);
        if (id <= 0) {
            m_error = true;
            m_last.connection.code = 1;
            return m_last.connection;
        }
        m_last.connection.code = 0;
        m_last.connection.session = id;
        m_last.connection.baud = LastStoredConnection().baudrate;
        m_last.connection.flags = LastStoredConnection().flags;
        return m_last.connection;
    }
    ReaderConnect::Request request;
    request.port = m_settings[PortSettings::Path(PortSettings::Name)];
    request.baudrate = std::atoi(m_settings[PortSettings::Path(PortSettings::Baudrate)].c_str());
    request.timeoutMs = m_options.timeout;
    WatchBluetoothWait(request.port, m_options.trace);
    {
        ConnectProgress progress;
        m_last = ReaderConnect::Connect(request);
    }
    if (!m_last.connection.Connected()) {
        NoteNoConnection();
        if (withMessages) ShowMessage(ReaderConnect::FailureMessage(m_last.connection.code));
        return m_last.connection;
    }
    // A reader found at another standard rate keeps that rate for the run.
    if (m_last.openedBaud && m_last.openedBaud != PackedBaud::Rate(request.baudrate))
        m_settings[PortSettings::Path(PortSettings::Baudrate)] = std::to_string(m_last.openedBaud);
    return m_last.connection;
}

void CSetupCliHost::WritingBlock(const char* name, int index, int count) {
    m_progress.Show("programming " + LinkPortName() + ": " + name + " (" + std::to_string(index) + "/" +
                    std::to_string(count) + ")");
}

void CSetupCliHost::CloseSession(int session) {
    m_progress.Clear();
    ReaderConnect::Close(session);
}

std::string CSetupCliHost::GetSetting(const std::string& section, const std::string& key,
                                      const std::string& fallback) {
    if (Stored(m_port)) {
        appkit::SettingsStore store(appkit::Program::Morvane);
        return store
            .GetString(QString::fromStdString(section), QString::fromStdString(key),
                       QString::fromStdString(fallback))
            .toStdString();
    }
    const auto it = m_settings.find(section + "/" + key);
    return it == m_settings.end() ? fallback : it->second;
}

void CSetupCliHost::SetSetting(const std::string& section, const std::string& key, const std::string& value) {
    if (Stored(m_port)) {
        appkit::SettingsStore store(appkit::Program::Morvane);
        store.WriteString(QString::fromStdString(section), QString::fromStdString(key),
                          QString::fromStdString(value));
        store.Sync();
        return;
    }
    m_settings[section + "/" + key] = value;
}

std::optional<std::string> CSetupCliHost::ChooseOpenFile() {
    if (m_file.empty()) return std::nullopt;
    return m_file;
}

std::optional<std::string> CSetupCliHost::ChooseSaveFile() {
    return ChooseOpenFile();
}

std::string CSetupCliHost::LinkPortName() const {
    if (!Stored(m_port)) return m_port;
    return frontend::ConnectionSettings::Read(appkit::SettingsStore(appkit::Program::Morvane))
        .LinkPortName()
        .toStdString();
}

bool CSetupCliHost::IsHid() const {
    return LinkPort::NamesHidReader(LinkPortName());
}

int CSetupCliHost::Flags() const {
    bool network = LinkPort::TransportOf(m_port) == LinkPort::Kind::Lan;
    if (Stored(m_port)) {
        appkit::SettingsStore store(appkit::Program::Morvane);
        network = frontend::ConnectionSettings::IsLanName(store.GetString(
            frontend::ConnectionSettings::Section, frontend::ConnectionSettings::Key(PortSettings::Name)));
    }
    return ConnectionFlag::OfConnection(IsHid(), network);
}

} // namespace Cli
