// The busy indicator beside the window during a wait: on a clock of the
// test's own, so that no test waits the second for it.
#include "BusyIndicator.h"
#include "LinkApi.h"
#include "ProgramInfo.h"
#include "Texts.h"
#include "UiHooks.h"
#include "WaitCursor.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

namespace {

using appkit::BusyIndicator;
using appkit::WaitCursor;

class BusyIndicatorTest : public testing::Test {
protected:
    BusyIndicatorTest() {
        BusyIndicator::SetClock([this] { return now; });
        window.setWindowTitle("window");
        window.setGeometry(100, 100, 300, 200);
        window.show();
    }
    ~BusyIndicatorTest() override { BusyIndicator::SetClock(nullptr); }

    // Where the clock stands, then what the indicator does about it.
    bool VisibleAt(qint64 ms) {
        now = ms;
        BusyIndicator::Poll();
        return BusyIndicator::Visible();
    }
    static QString Text() {
        const QWidget* indicator = BusyIndicator::Window();
        const auto* label = indicator ? indicator->findChild<QLabel*>("text") : nullptr;
        return label ? label->text() : QString();
    }

    qint64 now = 5000;
    QWidget window;
};

TEST_F(BusyIndicatorTest, ShowsBesideTheWindowAfterASecondOfWaitCursorUntilTheWaitEnds) {
    {
        const WaitCursor wait;
        EXPECT_FALSE(VisibleAt(5000));
        EXPECT_FALSE(VisibleAt(5999));
        EXPECT_TRUE(VisibleAt(6000));
        EXPECT_EQ(Text(), QString::fromUtf8("Bitte warten ..."));
        const QWidget* indicator = BusyIndicator::Window();
        ASSERT_NE(indicator, nullptr);
        const auto* bar = indicator->findChild<QProgressBar*>("progress");
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 0); // indeterminate
        // A window of its own beside the window, which keeps its contents and stays active.
        EXPECT_EQ(indicator->parentWidget(), nullptr);
        EXPECT_TRUE(window.findChildren<QWidget*>().isEmpty());
        EXPECT_FALSE(indicator->geometry().intersects(window.frameGeometry()));
        EXPECT_TRUE(window.screen()->availableGeometry().contains(indicator->geometry()));
        EXPECT_LT(std::abs(indicator->geometry().left() - window.frameGeometry().right()), 40);
        EXPECT_NE(QApplication::activeWindow(), indicator);
        {
            // Nested waits are one wait, timed from the outermost.
            const WaitCursor inner;
            EXPECT_TRUE(VisibleAt(6100));
        }
        EXPECT_TRUE(VisibleAt(6200));
    }
    EXPECT_FALSE(BusyIndicator::Visible());
    // The next wait is timed from its own start.
    const WaitCursor again;
    EXPECT_FALSE(VisibleAt(7000));
    EXPECT_TRUE(VisibleAt(8000));
}

TEST_F(BusyIndicatorTest, GoesLeftOfAWindowAtTheScreensRightEdge) {
    const QRect area = window.screen()->availableGeometry();
    window.move(area.right() - window.frameGeometry().width() + 1, area.top() + 50);
    const WaitCursor wait;
    ASSERT_TRUE(VisibleAt(7000));
    const QRect indicator = BusyIndicator::Window()->geometry();
    EXPECT_FALSE(indicator.intersects(window.frameGeometry()));
    EXPECT_LT(indicator.right(), window.frameGeometry().left());
    EXPECT_TRUE(area.contains(indicator));
}

TEST_F(BusyIndicatorTest, StaysAwayWhileAMessageAsksAndComesBackAfter) {
    const WaitCursor wait;
    ASSERT_TRUE(VisibleAt(7000));
    // A box shown during the wait gets the normal cursor above the wait cursor.
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    EXPECT_FALSE(VisibleAt(7100));
    QGuiApplication::restoreOverrideCursor();
    EXPECT_TRUE(VisibleAt(7200));
    // A modal box, whatever the cursor.
    QMessageBox box(QMessageBox::Question, "title", "question?", QMessageBox::Yes | QMessageBox::No, &window);
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &box);
    EXPECT_FALSE(VisibleAt(7300));
    box.hide();
    EXPECT_TRUE(VisibleAt(7400));
}

TEST_F(BusyIndicatorTest, AWindowWithItsOwnProgressGetsNoIndicatorForNestedWaitsEither) {
    {
        const WaitCursor own(WaitCursor::WithoutIndicator);
        EXPECT_FALSE(VisibleAt(9000));
        const WaitCursor nested; // a link wait inside the window's own
        EXPECT_FALSE(VisibleAt(20000));
    }
    const WaitCursor later;
    EXPECT_FALSE(VisibleAt(20500));
    EXPECT_TRUE(VisibleAt(21000));
}

TEST_F(BusyIndicatorTest, EnglishWithTheLanguageModule) {
    appkit::ProgramInfo::SetCurrent(appkit::Program::Programmer);
    ASSERT_TRUE(appkit::Texts::LoadLanguageModule(appkit::Program::Programmer));
    {
        const WaitCursor wait;
        ASSERT_TRUE(VisibleAt(6000));
        EXPECT_EQ(Text(), "Please wait ...");
    }
    appkit::Texts::ReleaseLanguageModule(appkit::Program::Programmer);
    appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
    const WaitCursor wait;
    ASSERT_TRUE(VisibleAt(7000));
    EXPECT_EQ(Text(), QString::fromUtf8("Bitte warten ..."));
}

// The indicator comes up inside a link wait, which keeps events flowing on
// the user-interface thread: through the pump hook and through its timer in
// a nested event loop. The clock moves on by itself, by a second a look.
TEST_F(BusyIndicatorTest, ComesUpDuringALinkWaitAndANestedEventLoop) {
    BusyIndicator::SetClock([this] { return now += 1000; });
    int master = -1, slave = -1;
    char name[64];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    appkit::UiHooks::Install(&window);
    bool seen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { seen = seen || BusyIndicator::Visible(); });
    watch.start(1);
    {
        const WaitCursor wait;
        // Nobody answers on the pty: two probes wait their time-out.
        EXPECT_EQ(LinkOpen(name, 19200, 0, 60), -11);
        EXPECT_TRUE(BusyIndicator::Visible());
    }
    EXPECT_TRUE(seen);
    EXPECT_FALSE(BusyIndicator::Visible());
    appkit::UiHooks::Remove();
    close(master);
    close(slave);

    // A nested event loop (a pause of the programmer) runs the indicator's timer.
    seen = false;
    {
        const WaitCursor wait;
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit); // the bound
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (BusyIndicator::Visible()) loop.quit();
        });
        poll.start(5);
        loop.exec();
        EXPECT_TRUE(BusyIndicator::Visible());
    }
    EXPECT_FALSE(BusyIndicator::Visible());
}

} // namespace
