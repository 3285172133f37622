#include "WidgetConnectUi.h"

#include "Messages.h"

namespace frontend {

void WidgetConnectUi::SetTitle(const QString& title) {
    if (m_window) m_window->setWindowTitle(title);
}

void WidgetConnectUi::ShowMessage(const QString& text) {
    appkit::Messages::Show(text);
}

} // namespace frontend
