#include "SeriellEinstellModel.h"

#include "LinkApi.h"
#include "ProfileFile.h"
#include "SetupText.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

// The message of id about path, followed on a line of its own by the reason.
SetupMessage FileMessage(int id, const std::string& path, const std::string& reason = "") {
    SetupMessage message;
    message.id = id;
    message.text = SetupText::Formatted(id, {path});
    if (!reason.empty()) message.text += "\r\n" + reason;
    message.icon = MessageIcon::Exclamation;
    return message;
}

// Why a file was not read or written: the system's text, or ours.
std::string Reason(const CProfileFile::Status& status) {
    switch (status.problem) {
    case CProfileFile::Problem::System:
    case CProfileFile::Problem::ReadOnly:
        return std::strerror(status.error);
    case CProfileFile::Problem::NotRegular:
        return SetupText::Get(597);
    case CProfileFile::Problem::TooLarge:
        return SetupText::Get(596);
    case CProfileFile::Problem::None:
        break;
    }
    return "";
}

// The sections "Speichern" writes; a file with none of them is no configuration.
bool HasConfiguration(const CProfileFile& file) {
    for (const char* section : {"Prefix", "Data", "Suffix", "Abziehen", "Termix"})
        if (file.HasSection(section)) return true;
    return false;
}

} // namespace

CSeriellEinstellModel::CSeriellEinstellModel(int session, int baud, int connectionFlags)
    : m_session(session), m_baud(baud), m_flags(connectionFlags), m_param(connectionFlags),
      m_prefix(500, 524, (connectionFlags & ConnectionFlag::Hid) != 0), m_daten(connectionFlags),
      m_suffix(501, 525, (connectionFlags & ConnectionFlag::Hid) != 0),
      m_abziehen(502, 527, (connectionFlags & ConnectionFlag::Hid) != 0),
      m_trenner(520, 526, (connectionFlags & ConnectionFlag::Hid) != 0), m_caption(SetupText::Get(508)) {}

CEingabeBasisRegisterkarte* CSeriellEinstellModel::KeyPage(SetupPage page) {
    switch (page) {
    case SetupPage::Prefix:
        return &m_prefix;
    case SetupPage::Suffix:
        return &m_suffix;
    case SetupPage::Abziehen:
        return &m_abziehen;
    case SetupPage::Trenner:
        return &m_trenner;
    default:
        return nullptr;
    }
}

const char* CSeriellEinstellModel::Section(SetupPage page) {
    switch (page) {
    case SetupPage::Prefix:
        return "Prefix";
    case SetupPage::Suffix:
        return "Suffix";
    case SetupPage::Abziehen:
        return "Abziehen";
    case SetupPage::Trenner:
        return "Termix";
    default:
        return "";
    }
}

void CSeriellEinstellModel::InitLastPath(ISetupHost& host) {
    if (!host.GetSetting("Settings", "LastPfad", "").empty()) return;
    std::error_code error;
    std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) folder = std::filesystem::current_path(error);
    host.SetSetting("Settings", "LastPfad", (folder / "test.mkp").string());
}

void CSeriellEinstellModel::SetCaptionPath(const std::string& path) {
    std::string caption = m_caption;
    const size_t dash = caption.find(" - ");
    if (dash != std::string::npos) caption.erase(dash);
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    m_caption = caption + " - " + (error ? path : full.lexically_normal().string());
}

CSeriellEinstellModel::ReaderRead CSeriellEinstellModel::ReadFromReader(ISetupHost& host) {
    ReaderRead read;
    if (m_session == 0) {
        m_baud = 19200;
        const SetupConnection connection = host.Connect(true);
        if (!connection.Connected()) return read;
        m_session = connection.session;
        m_baud = connection.baud;
    }
    read.connected = true;
    auto show = [&host](const std::optional<SetupMessage>& message) {
        if (message) host.ShowMessage(*message);
    };

    unsigned char mode[4] = {0, 0, 0, 0};
    const int modeLength = ReadModeParam(m_session, mode, sizeof mode);
    if (modeLength >= 0) {
        std::optional<SetupMessage> message;
        const bool taken = IsHid() ? m_paramHid.FromBlock(mode, sizeof mode, &message)
                                   : m_param.FromBlock(mode, sizeof mode, m_baud, &message);
        show(message);
        read.modeParam = true;
        read.modeParamTaken = taken && size_t(modeLength) == sizeof mode;
    }
    unsigned char buffer[255];
    const int paramLength = ReadParam(m_session, buffer, sizeof buffer);
    if (paramLength >= 0) {
        std::optional<SetupMessage> message;
        read.paramTaken = m_daten.FromBlock(buffer, size_t(paramLength), &message);
        show(message);
        m_daten.TakeSnapshot();
        read.param = true;
    }
    struct Sequence {
        int (*read)(int, unsigned char*, int);
        CEingabeBasisRegisterkarte& page;
        bool& flag;
    };
    Sequence sequences[] = {{ReadPrefix, m_prefix, read.prefix},
                            {ReadSuffix, m_suffix, read.suffix},
                            {ReadPostcode, m_abziehen, read.postcode},
                            {ReadTermix, m_trenner, read.termix}};
    for (Sequence& sequence : sequences) {
        const int length = sequence.read(m_session, buffer, sizeof buffer);
        if (length < 0) continue;
        sequence.page.FromBlock(buffer, size_t(length));
        sequence.page.SetChanged(false);
        sequence.flag = true;
    }
    // The reader's keyboard table, without any message: a reader that does
    // not answer leaves what it gave so far.
    if (IsHid() && HidChannels()) {
        if (std::unique_ptr<IHidChannel> channel = HidChannels()(m_session))
            read.keyTable = m_paramHid.Table().LoadFromReader(*channel);
    }
    host.CloseSession(m_session);
    m_session = 0;
    return read;
}

bool CSeriellEinstellModel::NeedsSaving(ISetupHost& host) {
    if (m_prefix.Changed() || m_suffix.Changed() || m_abziehen.Changed()) return true;
    if (!IsHid() && m_param.Replacement()) return true; // the page holds a default instead of what was read
    std::optional<SetupMessage> message;
    const bool changed = m_daten.HasChanged(&message);
    if (message) host.ShowMessage(*message);
    return changed;
}

bool CSeriellEinstellModel::Load(ISetupHost& host) {
    if (NeedsSaving(host)) {
        SetupMessage question = SetupMessage::FromId(516, MessageIcon::Question);
        question.buttons = MessageButtons::YesNo;
        if (host.ShowMessage(question) == MessageAnswer::Yes && !Save(host)) return false;
    }
    const std::optional<std::string> path = host.ChooseOpenFile();
    if (!path) return false;
    return LoadFile(host, *path);
}

bool CSeriellEinstellModel::LoadFile(ISetupHost& host, const std::string& path) {
    CProfileFile file;
    CProfileFile::Status status;
    if (!file.Load(path, status)) {
        host.ShowMessage(FileMessage(592, path, Reason(status)));
        return false;
    }
    if (status.missing) {
        host.ShowMessage(FileMessage(592, path, std::strerror(ENOENT)));
        return false;
    }
    // Anything else would reset every page to its defaults.
    if (!HasConfiguration(file)) {
        host.ShowMessage(FileMessage(598, path));
        return false;
    }
    m_prefix.Empty();
    m_suffix.Empty();
    m_abziehen.Empty();
    if (auto message = m_prefix.ReadProfile(file, "Prefix")) host.ShowMessage(*message);
    m_daten.ReadProfile(file);
    if (IsHid()) {
        m_paramHid.ReadProfile(file);
        // A file saved for a normal reader has no table: the one the page
        // holds (read from the reader) stays rather than becoming empty.
        if (CHidKeyTable::InProfile(file)) m_paramHid.ReadKeyTable(file);
    } else {
        m_param.ReadProfile(file);
    }
    if (auto message = m_suffix.ReadProfile(file, "Suffix")) host.ShowMessage(*message);
    if (auto message = m_abziehen.ReadProfile(file, "Abziehen")) host.ShowMessage(*message);
    if (auto message = m_trenner.ReadProfile(file, "Termix")) host.ShowMessage(*message);
    SetCaptionPath(path);
    m_prefix.SetChanged(false);
    m_suffix.SetChanged(false);
    m_abziehen.SetChanged(false);
    m_daten.TakeSnapshot();
    return true;
}

CSeriellEinstellModel::SaveResult CSeriellEinstellModel::SaveDocument(ISetupHost& host) {
    if (auto message = m_daten.Validate()) {
        host.ShowMessage(*message);
        host.ShowMessage(SetupMessage::FromId(517));
        return SaveResult::NotSaved;
    }
    if (!IsHid()) {
        if (auto message = m_param.Validate()) host.ShowMessage(*message); // shown; saving goes on
    }
    InitLastPath(host);
    const std::optional<std::string> path = host.ChooseSaveFile();
    if (!path) return SaveResult::NotSaved;

    // Keys of other sections, comments and left-over keys stay in the file.
    CProfileFile file;
    CProfileFile::Status status;
    if (!file.Load(*path, status)) {
        host.ShowMessage(FileMessage(591, *path, Reason(status)));
        return SaveResult::NotSaved;
    }
    // A sequence read from a reader may be longer than a file holds.
    std::vector<const CEingabeBasisRegisterkarte*> cut;
    auto writeSequence = [&file, &cut](const CEingabeBasisRegisterkarte& page, const char* section) {
        if (page.WriteProfile(file, section) < page.Items().size()) cut.push_back(&page);
    };
    writeSequence(m_prefix, "Prefix");
    if (auto message = m_daten.Validate()) {
        host.ShowMessage(*message);
        return SaveResult::NotSaved;
    }
    KonfigDaten record;
    m_daten.ToRecord(record);
    CDatenRegisterkarte::WriteProfile(record, file);
    if (IsHid()) {
        if (auto message = m_paramHid.Validate()) {
            host.ShowMessage(*message);
            return SaveResult::NotSaved;
        }
        m_paramHid.ToRecord(record);
        CParamRegisterkarteHID::WriteProfile(record, file);
        m_paramHid.WriteKeyTable(file);
    } else {
        if (auto message = m_param.Validate()) {
            host.ShowMessage(*message);
            return SaveResult::NotSaved;
        }
        m_param.ToRecord(record);
        CParamRegisterkarte::WriteProfile(record, file);
    }
    writeSequence(m_suffix, "Suffix");
    writeSequence(m_abziehen, "Abziehen");
    writeSequence(m_trenner, "Termix");
    if (!file.Save(*path, status)) {
        host.ShowMessage(FileMessage(591, *path, Reason(status)));
        return SaveResult::NotSaved;
    }
    if (!cut.empty()) {
        for (const CEingabeBasisRegisterkarte* page : cut) {
            SetupMessage message;
            message.id = 594;
            message.text = SetupText::Formatted(
                594, {page->Caption(), int(page->Items().size()), int(CEingabeBasisRegisterkarte::MaxItems)});
            message.icon = MessageIcon::Exclamation;
            host.ShowMessage(message);
        }
        return SaveResult::Cut;
    }
    SetCaptionPath(*path);
    m_prefix.SetChanged(false);
    m_suffix.SetChanged(false);
    m_abziehen.SetChanged(false);
    m_trenner.SetChanged(false);
    m_daten.TakeSnapshot();
    m_daten.ClearReplacement();
    m_param.ClearReplacement();
    return SaveResult::Saved;
}

void CSeriellEinstellModel::SetHidChannelFactory(HidChannelFactory channels) {
    m_paramHid.SetChannelFactory(std::move(channels));
}

std::vector<ValueReplacement> CSeriellEinstellModel::Replacements() const {
    std::vector<ValueReplacement> replaced;
    if (m_daten.Replacement()) replaced.push_back(*m_daten.Replacement());
    if (!IsHid() && m_param.Replacement()) replaced.push_back(*m_param.Replacement());
    return replaced;
}

const CEingabeBasisRegisterkarte* CSeriellEinstellModel::RefusedSequence() const {
    for (const CEingabeBasisRegisterkarte* page : {&m_prefix, &m_suffix, &m_abziehen, &m_trenner})
        if (page->LoadRefused()) return page;
    return nullptr;
}

std::optional<SetupMessage> CSeriellEinstellModel::BuildImage(Image& image) {
    image = Image();
    image.prefix = m_prefix.ToBlock();
    if (auto message = m_daten.Validate()) return message;
    m_daten.ToRecord(image.record);
    image.param = ConfigImage::BuildParam(image.record);
    if (IsHid()) {
        if (auto message = m_paramHid.Validate()) return message;
        m_paramHid.ToRecord(image.record);
    } else {
        if (auto message = m_param.Validate()) return message;
        m_param.ToRecord(image.record);
    }
    image.modeParam = ConfigImage::BuildModeParam(image.record);
    image.suffix = m_suffix.ToBlock();
    image.postcode = m_abziehen.ToBlock();
    image.termix = m_trenner.ToBlock();
    return std::nullopt;
}
