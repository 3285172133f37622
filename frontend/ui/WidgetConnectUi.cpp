#include "WidgetConnectUi.h"

#include "Messages.h"

namespace frontend {

void WidgetConnectUi::SetTitle(const QString& title) {
    if (m_window) m_window->setWindowTitle(title);
}

void WidgetConnectUi::ShowMessage(const QString& text) {
    appkit::Messages::Show(text);
}

void WidgetConnectUi::SetBusy(bool on) {
    if (on)
        m_busy.push_back(std::make_unique<appkit::WaitCursor>());
    else if (!m_busy.empty())
        m_busy.pop_back();
}

} // namespace frontend
