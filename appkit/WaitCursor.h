// Shows the wait cursor for its lifetime (nests). A wait longer than a
// second also shows the busy indicator beside the window (BusyIndicator.h),
// unless the dialog shows its own progress (WithoutIndicator: then not
// for the waits nested in it either).
#pragma once

#include "BusyIndicator.h"

#include <QCursor>
#include <QGuiApplication>

namespace appkit {

class WaitCursor {
public:
    enum Indicator { WithIndicator, WithoutIndicator };

    explicit WaitCursor(Indicator indicator = WithIndicator) {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            m_active = true;
            m_ownProgress = indicator == WithoutIndicator;
            BusyIndicator::Begin(m_ownProgress);
        }
    }
    ~WaitCursor() {
        if (!m_active) return;
        QGuiApplication::restoreOverrideCursor();
        BusyIndicator::End(m_ownProgress);
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_active = false;
    bool m_ownProgress = false;
};

} // namespace appkit
