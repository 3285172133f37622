#include "BusyIndicator.h"

#include "Texts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace appkit {

namespace {

// The indicator's text (common table).
constexpr int PleaseWaitText = 10150;
constexpr int PollIntervalMs = 100;
// Gap between the window and the indicator.
constexpr int Gap = 8;

qint64 RealClock() {
    static QElapsedTimer timer;
    if (!timer.isValid()) timer.start();
    return timer.elapsed();
}

struct State {
    int depth = 0;
    int ownProgress = 0;
    qint64 since = 0;
    BusyIndicator::Clock clock;
    // Owned by the application (the timer) or left to it at exit (the
    // window): no static destructor touches a widget after QApplication.
    QPointer<QTimer> timer;
    QPointer<QWidget> window;
    QPointer<QLabel> label;
};

State& TheState() {
    static State state;
    return state;
}

qint64 Now() {
    const State& state = TheState();
    return state.clock ? state.clock() : RealClock();
}

bool WidgetsRun() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// A box asks something, or the top cursor is not the wait cursor (a box
// shown during a wait gets the normal one): nobody is waiting just now.
bool AskingInstead() {
    if (qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) return true;
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return !cursor || cursor->shape() != Qt::WaitCursor;
}

QWidget* MakeWindow() {
    // A tool-tip window: frameless, above the others, never activated, so
    // that the focus and the active window stay where the program has them.
    auto* window = new QWidget(nullptr, Qt::ToolTip | Qt::WindowDoesNotAcceptFocus);
    window->setObjectName(QStringLiteral("kvplmBusyIndicator"));
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setAttribute(Qt::WA_TransparentForMouseEvents);
    window->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(window);
    auto* label = new QLabel(window);
    label->setObjectName(QStringLiteral("text"));
    auto* bar = new QProgressBar(window);
    bar->setObjectName(QStringLiteral("progress"));
    bar->setRange(0, 0); // indeterminate
    bar->setTextVisible(false);
    bar->setMinimumWidth(160);
    layout->addWidget(label);
    layout->addWidget(bar);
    TheState().label = label;
    return window;
}

// The window the indicator goes beside: the active one, else a visible
// top-level window of the program.
QWidget* Anchor(const QWidget* self) {
    if (QWidget* active = QApplication::activeWindow(); active && active != self) return active;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != self) return modal;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != self && widget->isVisible() && widget->windowType() != Qt::ToolTip &&
            widget->windowType() != Qt::Popup)
            return widget;
    return nullptr;
}

// Right of the anchor, its top edges level; left of it where the screen
// ends; always inside the screen.
void Place(QWidget* window) {
    window->adjustSize();
    const QSize size = window->size();
    QWidget* anchor = Anchor(window);
    QScreen* screen = anchor && anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    QPoint at;
    if (anchor) {
        const QRect frame = anchor->frameGeometry();
        at = QPoint(frame.right() + 1 + Gap, frame.top());
        if (at.x() + size.width() > area.right() + 1) at.setX(frame.left() - Gap - size.width());
    } else {
        at = area.center() - QPoint(size.width() / 2, size.height() / 2);
    }
    at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() + 1 - size.width())));
    at.setY(qBound(area.top(), at.y(), qMax(area.top(), area.bottom() + 1 - size.height())));
    window->move(at);
}

void Show() {
    State& state = TheState();
    if (!state.window) state.window = MakeWindow();
    if (state.window->isVisible()) return;
    // The language may have changed since the last wait.
    if (state.label) state.label->setText(Texts::String(PleaseWaitText));
    Place(state.window);
    state.window->show();
}

void Hide() {
    State& state = TheState();
    if (state.window && state.window->isVisible()) state.window->hide();
}

} // namespace

void BusyIndicator::Begin(bool ownProgress) {
    State& state = TheState();
    if (ownProgress) ++state.ownProgress;
    if (state.depth++ > 0 || !WidgetsRun()) return;
    state.since = Now();
    if (!state.timer) {
        state.timer = new QTimer(QCoreApplication::instance());
        state.timer->setInterval(PollIntervalMs);
        QObject::connect(state.timer, &QTimer::timeout, [] { Poll(); });
    }
    state.timer->start();
}

void BusyIndicator::End(bool ownProgress) {
    State& state = TheState();
    if (ownProgress && state.ownProgress > 0) --state.ownProgress;
    if (state.depth == 0) return;
    if (--state.depth > 0) return;
    if (state.timer) state.timer->stop();
    Hide();
}

void BusyIndicator::Poll() {
    const State& state = TheState();
    if (!WidgetsRun()) return;
    if (state.depth > 0 && state.ownProgress == 0 && Now() - state.since >= DelayMs && !AskingInstead())
        Show();
    else
        Hide();
}

bool BusyIndicator::Visible() {
    const State& state = TheState();
    return state.window && state.window->isVisible();
}

QWidget* BusyIndicator::Window() {
    return TheState().window;
}

void BusyIndicator::SetClock(Clock clock) {
    TheState().clock = std::move(clock);
}

} // namespace appkit
