#include "UiHooks.h"

#include "BusyIndicator.h"
#include "Messages.h"
#include "WaitCursor.h"

#include "LinkApi.h"

#include <QCoreApplication>
#include <memory>

namespace appkit {

namespace {

std::function<QWidget*()> mainWindowSource;
std::unique_ptr<WaitCursor> waitCursor;

void Pump(void*) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Each poll step, not only the indicator's timer: a wait that pumps
    // faster than timers fire still shows it on time.
    BusyIndicator::Poll();
}

int DisableMainWindow(void*) {
    QWidget* window = mainWindowSource ? mainWindowSource() : nullptr;
    if (!window) return -1;
    const int previous = window->isEnabled() ? 1 : 0;
    window->setEnabled(false);
    return previous;
}

void RestoreMainWindow(void*, int previous) {
    if (previous < 0) return;
    if (QWidget* window = mainWindowSource ? mainWindowSource() : nullptr) window->setEnabled(previous != 0);
}

void SetWaitCursor(void*, int on) {
    if (on && !waitCursor)
        waitCursor = std::make_unique<WaitCursor>();
    else if (!on)
        waitCursor.reset();
}

// A message of the library itself (a network read error), shown as the
// program's other messages are.
void ShowLibraryMessage(const char* text) {
    if (text) Messages::Show(QString::fromUtf8(text));
}

} // namespace

void UiHooks::Install(std::function<QWidget*()> mainWindow) {
    mainWindowSource = std::move(mainWindow);
    LinkUiHooks hooks{};
    hooks.pumpEvents = &Pump;
    hooks.disableMainWindow = &DisableMainWindow;
    hooks.restoreMainWindow = &RestoreMainWindow;
    hooks.setWaitCursor = &SetWaitCursor;
    LinkSetUiHooks(&hooks);
    LinkSetMessageHook(&ShowLibraryMessage);
}

void UiHooks::Install(QWidget* mainWindow) {
    QPointer<QWidget> window(mainWindow);
    Install([window]() -> QWidget* { return window.data(); });
}

void UiHooks::Remove() {
    LinkSetUiHooks(nullptr);
    LinkSetMessageHook(nullptr);
    waitCursor.reset();
    mainWindowSource = nullptr;
}

} // namespace appkit
