#include "DialogHost.h"

#include "Messages.h"

#include <QEventLoop>
#include <QTimer>

namespace Programmer {

void DialogHost::ShowMessage(const std::string& text) {
    appkit::Messages::Show(QString::fromStdString(text));
}

bool DialogHost::AskYesNo(const std::string& text) {
    return appkit::Messages::Show(QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void DialogHost::SetTitle(const std::string& title) {
    if (m_window) m_window->setWindowTitle(QString::fromStdString(title));
}

void DialogHost::Pause(int milliseconds) {
    const bool wasEnabled = m_window && m_window->isEnabled();
    if (wasEnabled) m_window->setEnabled(false);
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    if (wasEnabled && m_window) m_window->setEnabled(true);
}

void DialogHost::SetBusy(bool on) {
    if (!on)
        m_waitCursor.reset();
    else if (!m_waitCursor)
        m_waitCursor = std::make_unique<appkit::WaitCursor>();
}

} // namespace Programmer
