// CBusyGuard: while a dialog talks to the reader, the reader's waits keep
// the event loop running (the window repaints, the reader's bytes arrive).
// For that time the guard swallows the user's input to the busy windows, so
// that a second click cannot start an operation inside the running one.
// Message boxes the operation shows are windows of their own and stay
// usable. No window changes its look.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

class CBusyGuard : public QObject {
public:
    // The busy windows: the dialog and the main window above it.
    explicit CBusyGuard(QWidget* window);
    ~CBusyGuard() override;
    CBusyGuard(const CBusyGuard&) = delete;
    CBusyGuard& operator=(const CBusyGuard&) = delete;

    // Whether any guard is active.
    static bool Active();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QPointer<QWidget>> m_windows;
};
