// Shows the wait cursor for its lifetime (nests).
#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace appkit {

class WaitCursor {
public:
    WaitCursor() {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            m_active = true;
        }
    }
    ~WaitCursor() {
        if (m_active) QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_active = false;
};

} // namespace appkit
