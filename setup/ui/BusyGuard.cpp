#include "BusyGuard.h"

#include <QApplication>
#include <QEvent>

namespace {
int activeGuards = 0;
}

CBusyGuard::CBusyGuard(QWidget* window) {
    for (QWidget* w = window; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr)
        m_windows.append(w->window());
    ++activeGuards;
    qApp->installEventFilter(this);
}

CBusyGuard::~CBusyGuard() {
    qApp->removeEventFilter(this);
    --activeGuards;
}

bool CBusyGuard::Active() {
    return activeGuards > 0;
}

bool CBusyGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Close:
        break;
    default:
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    QWidget* window = widget->window();
    for (const QPointer<QWidget>& busy : m_windows) {
        if (busy == window) {
            // A close is asked again once the work is done.
            if (event->type() == QEvent::Close) event->ignore();
            return true;
        }
    }
    return false;
}
