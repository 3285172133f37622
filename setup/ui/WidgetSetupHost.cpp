#include "WidgetSetupHost.h"

#include "Messages.h"
#include "ReaderConnect.h"
#include "SettingsStore.h"
#include "SetupText.h"
#include "Texts.h"
#include "WidgetConnectUi.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>

namespace {

CWidgetSetupHost::FileChooser fileChooser;

appkit::Messages::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return appkit::Messages::Icon::None;
    case MessageIcon::Information:
        return appkit::Messages::Icon::Information;
    case MessageIcon::Exclamation:
        return appkit::Messages::Icon::Warning;
    case MessageIcon::Error:
        return appkit::Messages::Icon::Critical;
    case MessageIcon::Question:
        return appkit::Messages::Icon::Question;
    }
    return appkit::Messages::Icon::Automatic;
}

} // namespace

CWidgetSetupHost::CWidgetSetupHost(QWidget* titleWindow) : m_titleWindow(titleWindow) {}

MessageAnswer CWidgetSetupHost::ShowMessage(const SetupMessage& message) {
    // A box shown during a long operation gets the normal cursor.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool question = message.buttons == MessageButtons::YesNo;
    const QMessageBox::StandardButton answer = appkit::Messages::Show(
        QString::fromStdString(message.text), question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
        BoxIcon(message.icon));
    if (waiting) QGuiApplication::restoreOverrideCursor();
    if (!question) return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

SetupConnection CWidgetSetupHost::Connect(bool withMessages) {
    frontend::WidgetConnectUi ui(m_titleWindow);
    frontend::Connector connector(ui);
    frontend::Connection connection;
    SetupConnection result;
    result.code = connector.ConnectStored(connection, withMessages);
    result.session = connection.session;
    result.baud = connection.baudrate;
    result.flags = connection.flags;
    if (result.Connected() && onConnected) onConnected(connection);
    return result;
}

void CWidgetSetupHost::CloseSession(int session) {
    ReaderConnect::Close(session);
}

std::string CWidgetSetupHost::GetSetting(const std::string& section, const std::string& key,
                                         const std::string& fallback) {
    appkit::SettingsStore store;
    return store
        .GetString(QString::fromStdString(section), QString::fromStdString(key),
                   QString::fromStdString(fallback))
        .toStdString();
}

void CWidgetSetupHost::SetSetting(const std::string& section, const std::string& key,
                                  const std::string& value) {
    appkit::SettingsStore store;
    store.WriteString(QString::fromStdString(section), QString::fromStdString(key),
                      QString::fromStdString(value));
    store.Sync();
}

void CWidgetSetupHost::SetFileChooser(FileChooser chooser) {
    fileChooser = std::move(chooser);
}

QString CWidgetSetupHost::StandardFileDialog(QWidget* parent, bool save) {
    QFileDialog dialog(parent);
    dialog.setNameFilter(QStringLiteral("KVR4x (*.mkr)"));
    dialog.setDefaultSuffix(QStringLiteral("mkr"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The overwrite prompt is ours, in the program's language and testable.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

std::optional<std::string> CWidgetSetupHost::ChooseOpenFile() {
    const QString path =
        fileChooser ? fileChooser(m_dialogParent, false) : StandardFileDialog(m_dialogParent, false);
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> CWidgetSetupHost::ChooseSaveFile() {
    for (;;) {
        const QString path =
            fileChooser ? fileChooser(m_dialogParent, true) : StandardFileDialog(m_dialogParent, true);
        if (path.isEmpty()) return std::nullopt;
        if (!QFileInfo::exists(path)) return path.toStdString();
        SetupMessage question;
        question.id = 593;
        question.text = SetupText::Formatted(593, {path.toStdString()});
        question.icon = MessageIcon::Exclamation;
        question.buttons = MessageButtons::YesNo;
        if (ShowMessage(question) == MessageAnswer::Yes) return path.toStdString();
        // No: the save dialog comes again, as it stays open on Windows.
    }
}

void CWidgetSetupHost::CurrentBaudRateShown(int baud) {
    if (onCurrentBaudRate) onCurrentBaudRate(baud);
}

void CWidgetSetupHost::FocusControl(SetupPage page, int control) {
    if (onFocusControl) onFocusControl(page, control);
}

void CWidgetSetupHost::ReportUpdated(const std::string& report) {
    if (onReportUpdated) onReportUpdated(report);
}
