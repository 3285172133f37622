// The HID reader's side of Morvane under Qt Test, offscreen: the key button's
// drawing, the HID parameter page with its keyboard picture, the programming
// dialog of an HID reader (its page, its files, the HID function test from
// every page) and the interface dialog's mode switch of a dual-mode reader.
//
// Most tests put a fake keyboard behind the reader's interface channel (it
// answers key queries and records key settings) and connect through the
// host. The last ones run a simulated HID reader, kvplm-readersim --hid, as a
// process of its own, reached through the stand-in hidapi library that
// ctest puts first on LD_LIBRARY_PATH; its console tells what it was sent.
// (The simulator's library is not linked in: the process is the reader.)
#include "BusyGuard.h"
#include "DataPage.h"
#include "FrontendTestSupport.h"
#include "FunktionstestDlg.h"
#include "FunktionstestHidDlg.h"
#include "InterfaceDialog.h"
#include "KeyButton.h"
#include "KeySequencePage.h"
#include "LinkApi.h"
#include "Messages.h"
#include "ParamHidPage.h"
#include "SeriellEinstellDlg.h"
#include "Texts.h"
#include "WidgetSetupHost.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace {

constexpr int kWaitMs = 10000;
constexpr int kHidFlags = 0x1F200;

template <class W> W* Find(const QObject* parent, const QString& name) {
    return parent ? parent->findChild<W*>(name) : nullptr;
}

// Runs action on the next modal dialog of type T once it is open; gives up
// after timeoutMs. The action closes the dialog (which ends its exec()).
template <class T> void OnModal(std::function<void(T*)> action, int timeoutMs = 15000) {
    auto* timer = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(timeoutMs);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if ((dialog && dialog->isVisible()) || deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
            if (dialog && dialog->isVisible()) action(dialog);
        }
    });
    timer->start();
}

// ---------------------------------------------------------------------------
// The key button's drawing, measured in pixels: a caption part's glyphs are
// the pixels where the button with that part differs from the button with
// blanks only. Nothing here depends on the font's shapes.

class KeyButtonDrawingTest : public ::testing::Test {
protected:
    void SetUp() override {
        style.reset(QStyleFactory::create(QStringLiteral("Fusion")));
        button.setStyle(style.get());
        button.resize(64, 64);
    }
    QImage Render(const QString& text, bool down = false) {
        button.setText(text);
        button.setDown(down);
        QImage image(button.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        button.render(&image);
        return image;
    }
    // The bounding box of the pixels that differ, and how many they are.
    static QRect Glyphs(const QImage& a, const QImage& b, int* count = nullptr) {
        QRect box;
        int n = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y)) {
                    box |= QRect(x, y, 1, 1);
                    ++n;
                }
        if (count) *count = n;
        return box;
    }
    QRect Part(const QString& text, bool down = false) {
        const QImage blank = Render(QStringLiteral(" \n \t"), down);
        return Glyphs(blank, Render(text, down));
    }

    std::unique_ptr<QStyle> style;
    CKeyButton button;
};

TEST_F(KeyButtonDrawingTest, ShiftTopLeftNormalBottomLeftAltGrBottomRightInsideTheInset) {
    const int w = button.width(), h = button.height();
    const QRect shift = Part(QStringLiteral("W\n \t"));
    const QRect normal = Part(QStringLiteral(" \nW\t"));
    const QRect altGr = Part(QStringLiteral(" \n \tW"));
    for (const QRect& part : {shift, normal, altGr}) {
        ASSERT_FALSE(part.isNull());
        // Inside the text area: 5 pixels in at the sides, 3 at top and bottom.
        EXPECT_GE(part.left(), CKeyButton::InsetX);
        EXPECT_LE(part.right(), w - 1 - CKeyButton::InsetX);
        EXPECT_GE(part.top(), CKeyButton::InsetY);
        EXPECT_LE(part.bottom(), h - 1 - CKeyButton::InsetY);
    }
    EXPECT_LT(shift.right(), w / 2);
    EXPECT_LT(shift.bottom(), h / 2);
    EXPECT_LT(normal.right(), w / 2);
    EXPECT_GT(normal.top(), h / 2);
    EXPECT_GT(altGr.left(), w / 2);
    EXPECT_GT(altGr.top(), h / 2);
    // The same glyph, at the left edge above and below: one column.
    EXPECT_EQ(shift.left(), normal.left());
    EXPECT_EQ(shift.width(), normal.width());
    EXPECT_EQ(normal.bottom(), altGr.bottom());
    // Left and right parts hug their edges of the text area alike.
    EXPECT_NEAR(shift.left() - CKeyButton::InsetX, w - 1 - CKeyButton::InsetX - altGr.right(), 3);

    // All three at once draw exactly those three.
    const QImage blank = Render(QStringLiteral(" \n \t"));
    EXPECT_EQ(Glyphs(blank, Render(QStringLiteral("W\nW\tW"))), shift | normal | altGr);
}

TEST_F(KeyButtonDrawingTest, PressedTheTextMovesOnePixelRightAndDown) {
    const QImage up = Render(QStringLiteral(" \n \t"));
    const QImage down = Render(QStringLiteral(" \n \t"), true);
    // The pressed look is another bevel.
    EXPECT_FALSE(Glyphs(up, down).isNull());
    for (const QString& text :
         {QStringLiteral("W\n \t"), QStringLiteral(" \nW\t"), QStringLiteral(" \n \tW")})
        EXPECT_EQ(Part(text, true), Part(text).translated(1, 1)) << text.toStdString();
}

TEST_F(KeyButtonDrawingTest, EachPartOnOneLineWithoutABackgroundAndADoubledAmpersandShowsOnce) {
    const QFontMetrics metrics(button.font());
    button.resize(200, 64);
    const QRect wide = Part(QStringLiteral("W W W W W W\n \t"));
    EXPECT_LT(wide.height(), metrics.height());
    EXPECT_GT(wide.width(), 5 * metrics.horizontalAdvance(QLatin1Char('W')));

    // Only the glyphs' own pixels change: no box is filled behind the text.
    button.resize(64, 64);
    int changed = 0;
    const QRect glyph = Glyphs(Render(QStringLiteral(" \n \t")), Render(QStringLiteral("W\n \t")), &changed);
    EXPECT_LT(changed, glyph.width() * glyph.height());

    // "&&" is the one character "&", not a mnemonic marker; "&&&&" is two.
    const QImage blank = Render(QStringLiteral(" \n \t"));
    const QRect one = Glyphs(blank, Render(QStringLiteral("&&\n \t")));
    ASSERT_FALSE(one.isNull());
    EXPECT_EQ(Render(QStringLiteral("&&\n \t")), Render(QStringLiteral("&\n \t")));
    const QRect two = Glyphs(blank, Render(QStringLiteral("&&&&\n \t")));
    EXPECT_GT(two.width(), one.width() + 2);
    EXPECT_EQ(CKeyButton::Split(QStringLiteral("&&\n1\t&&&&")).altGr, QStringLiteral("&&"));
    EXPECT_EQ(CKeyButton::Split(QStringLiteral("&&\n1\t")).shift, QStringLiteral("&"));
    // A caption with the "&" on its key shows no underline anywhere.
    button.setText(QStringLiteral("&&\n7\t"));
    EXPECT_TRUE(button.shortcut().isEmpty());
}

// ---------------------------------------------------------------------------
// The reader's keyboard behind the interface channel: which key and modifier
// type each character, and the key settings it was sent.

struct FakeKeyboard {
    std::map<uint8_t, std::pair<uint8_t, uint8_t>> keys; // character -> modifier, usage
    std::vector<std::array<uint8_t, 4>> settings;
    int queries = 0;
    int failQueries = 0; // this many queries fail (negative answer)
    bool busyDuringQueries = true;
    bool waitCursorDuringQueries = true;
    std::vector<int> sessions;
};

class FakeChannel : public IHidChannel {
public:
    explicit FakeChannel(FakeKeyboard& keyboard) : m_keyboard(keyboard) {}
    int Exchange(const uint8_t* request, int count, uint8_t* reply, int size) override {
        if (count < 2 || request[0] != 0x11 || size < 4) return -1;
        ++m_keyboard.queries;
        m_keyboard.busyDuringQueries = m_keyboard.busyDuringQueries && CBusyGuard::Active();
        m_keyboard.waitCursorDuringQueries =
            m_keyboard.waitCursorDuringQueries && QGuiApplication::overrideCursor() != nullptr;
        if (m_keyboard.failQueries > 0) {
            --m_keyboard.failQueries;
            return -1;
        }
        const auto it = m_keyboard.keys.find(request[1]);
        reply[0] = 0x11;
        reply[1] = request[1];
        reply[2] = it == m_keyboard.keys.end() ? 0 : it->second.first;
        reply[3] = it == m_keyboard.keys.end() ? 0 : it->second.second;
        return 4;
    }
    int Send(const uint8_t* bytes, int count) override {
        if (count != 4) return -1;
        m_keyboard.settings.push_back({bytes[0], bytes[1], bytes[2], bytes[3]});
        return 0;
    }

private:
    FakeKeyboard& m_keyboard;
};

// A German reader keyboard, a few keys of it.
FakeKeyboard GermanReader() {
    FakeKeyboard keyboard;
    keyboard.keys['q'] = {0x00, 0x14};
    keyboard.keys['Q'] = {0x02, 0x14};
    keyboard.keys['@'] = {0x40, 0x14};
    keyboard.keys['z'] = {0x00, 0x1C};
    keyboard.keys['Z'] = {0x20, 0x1C}; // right Shift
    keyboard.keys['6'] = {0x00, 0x23};
    keyboard.keys['&'] = {0x02, 0x23};
    keyboard.keys['\\'] = {0x40, 0x2D};
    keyboard.keys['?'] = {0x02, 0x2D};
    keyboard.keys['<'] = {0x00, 0x64};
    keyboard.keys['>'] = {0x02, 0x64};
    keyboard.keys['|'] = {0x40, 0x64};
    return keyboard;
}

// Connecting gives a session that the test names (or none); the Link API is
// not asked, so a block read on it fails and leaves the pages as they are.
class TestHost : public CWidgetSetupHost {
public:
    SetupConnection Connect(bool withMessages) override {
        ++connects;
        SetupConnection connection;
        if (session <= 0) {
            if (withMessages) ShowMessage(SetupMessage::FromId(521));
            return connection;
        }
        connection.code = 0;
        connection.session = session;
        connection.flags = kHidFlags;
        return connection;
    }
    void CloseSession(int id) override { closed.push_back(id); }

    int session = 0;
    int connects = 0;
    std::vector<int> closed;
};

class HidPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
        appkit::Messages::SetRecorder(&recorder);
        ClearSettings();
        // "Computer Einstellung" takes the named layout of the environment.
        savedDisplay = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        qputenv("XKB_DEFAULT_LAYOUT", "de");
        CWidgetSetupHost::SetFileChooser([this](QWidget*, bool) {
            if (files.empty()) return QString();
            const QString file = files.front();
            files.pop_front();
            return file;
        });
    }
    void TearDown() override {
        CWidgetSetupHost::SetFileChooser(nullptr);
        qunsetenv("XKB_DEFAULT_LAYOUT");
        if (!savedDisplay.isEmpty()) qputenv("DISPLAY", savedDisplay);
        appkit::Messages::SetRecorder(nullptr);
    }
    QStringList MessageTexts() const {
        QStringList texts;
        for (const appkit::Messages::Record& record : recorder.records)
            texts.append(record.text);
        return texts;
    }
    HidChannelFactory Channels() {
        return [this](int session) -> std::unique_ptr<IHidChannel> {
            keyboard.sessions.push_back(session);
            return std::make_unique<FakeChannel>(keyboard);
        };
    }
    std::unique_ptr<CSeriellEinstellDlg> OpenProgramming() {
        auto dialog = std::make_unique<CSeriellEinstellDlg>(nullptr, host, 0, 19200, kHidFlags);
        dialog->Model().SetHidChannelFactory(Channels());
        QSignalSpy opened(dialog.get(), &CSeriellEinstellDlg::opened);
        dialog->show();
        EXPECT_TRUE(opened.count() > 0 || opened.wait(kWaitMs));
        return dialog;
    }
    static QString KeyText(QWidget* page, int scanCode) {
        auto* key = page->findChild<CKeyButton*>(QStringLiteral("key") + QString::asprintf("%02X", scanCode));
        return key ? key->text() : QStringLiteral("<no key>");
    }
    static QPushButton* Button(QWidget* page, int id) {
        return Find<QPushButton>(page, QStringLiteral("button%1").arg(id));
    }

    appkit::Messages::Recorder recorder;
    TestHost host;
    FakeKeyboard keyboard = GermanReader();
    std::deque<QString> files;
    QByteArray savedDisplay;
};

TEST_F(HidPageTest, PageHasTheTimeoutTheFrameAndFortyEightKeysInStaggeredRows) {
    CParamRegisterkarteHID model;
    CParamHidPage page(model, host);
    page.resize(page.sizeHint());
    page.show();

    QStringList labels;
    for (QLabel* label : page.findChildren<QLabel*>())
        labels.append(label->text());
    EXPECT_TRUE(labels.contains("Timeout:"));
    EXPECT_TRUE(labels.contains("in Millisekunden"));
    auto* timeout = Find<QLineEdit>(&page, "edit1002");
    ASSERT_NE(timeout, nullptr);
    EXPECT_EQ(timeout->text(), "500");
    // Digits only.
    timeout->clear();
    QTest::keyClicks(timeout, "7x0-0");
    EXPECT_EQ(timeout->text(), "700");
    ASSERT_EQ(page.findChildren<QGroupBox*>().size(), 1);
    QGroupBox* frame = page.findChildren<QGroupBox*>().front();
    EXPECT_EQ(frame->title(), "Tastatur Layout");
    EXPECT_EQ(Button(&page, 1011)->text(), QString::fromUtf8("Aus Gerät laden"));
    EXPECT_EQ(Button(&page, 1012)->text(), "Computer Einstellung");
    EXPECT_EQ(Button(&page, 1024)->text(), "Funktionstest");
    EXPECT_EQ(Button(&page, 1010)->text(), "Inhalt lesen");
    for (int id : {1011, 1012})
        EXPECT_TRUE(frame->isAncestorOf(Button(&page, id))) << id;

    // 48 keys, in the frame, in the rows of a keyboard's main block.
    const QList<CKeyButton*> keys = page.findChildren<CKeyButton*>();
    ASSERT_EQ(keys.size(), CHidKeyTable::ButtonCount);
    const auto& buttons = CHidKeyTable::Buttons();
    std::array<QList<QRect>, 4> rows;
    for (int i = 0; i < CHidKeyTable::ButtonCount; ++i) {
        CKeyButton* key = page.KeyButton(i);
        ASSERT_EQ(key->objectName(),
                  QStringLiteral("key") + QString::asprintf("%02X", buttons[size_t(i)].scanCode));
        EXPECT_TRUE(frame->isAncestorOf(key));
        EXPECT_TRUE(key->isVisible());
        rows[size_t(buttons[size_t(i)].row)].append(QRect(key->mapTo(&page, QPoint(0, 0)), key->size()));
    }
    EXPECT_EQ(rows[0].size(), 13);
    EXPECT_EQ(rows[1].size(), 13);
    EXPECT_EQ(rows[2].size(), 11);
    EXPECT_EQ(rows[3].size(), 11);
    for (size_t r = 0; r < 4; ++r) {
        for (int k = 1; k < rows[r].size(); ++k) {
            EXPECT_EQ(rows[r][k].top(), rows[r][0].top()) << r;
            EXPECT_GT(rows[r][k].left(), rows[r][k - 1].right()) << r << " " << k;
        }
        if (r > 0) {
            EXPECT_GT(rows[r][0].top(), rows[r - 1][0].bottom()) << r;
        }
    }
    // Staggered as on a keyboard: Q after the 1, A after the Q, "<" before the A.
    EXPECT_GT(rows[1][0].left(), rows[0][1].left());
    EXPECT_LT(rows[1][0].left(), rows[0][2].left());
    EXPECT_GT(rows[2][0].left(), rows[1][0].left());
    EXPECT_LT(rows[3][0].left(), rows[2][0].left());
    EXPECT_GT(rows[3][0].left(), rows[0][1].left());
    // Keys are at least as large as two lines of their text and the inset.
    const QFontMetrics metrics(page.KeyButton(0)->font());
    EXPECT_GE(rows[0][0].height(), 2 * metrics.height() + 2 * CKeyButton::InsetY);
}

TEST_F(HidPageTest, ComputerSettingPutsTheNamedLayoutsCharactersOnTheKeys) {
    CParamRegisterkarteHID model;
    CParamHidPage page(model, host);
    page.show();
    // An empty table: blanks above and at the left, nothing at the right.
    EXPECT_EQ(KeyText(&page, 0x10), " \n \t");

    Button(&page, 1012)->click();
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
    EXPECT_EQ(KeyText(&page, 0x10), "Q\nq\t@");
    EXPECT_EQ(KeyText(&page, 0x15), "Z\nz\t");
    EXPECT_EQ(KeyText(&page, 0x2C), "Y\ny\t");
    EXPECT_EQ(KeyText(&page, 0x0C), "?\n \t\\"); // "ß" is no character the table asks for
    EXPECT_EQ(KeyText(&page, 0x07), "&&\n6\t");
    EXPECT_EQ(KeyText(&page, 0x56), ">\n<\t|");
    EXPECT_EQ(KeyText(&page, 0x1B), "*\n+\t~");

    qputenv("XKB_DEFAULT_LAYOUT", "us");
    Button(&page, 1012)->click();
    EXPECT_EQ(KeyText(&page, 0x10), "Q\nq\t");
    EXPECT_EQ(KeyText(&page, 0x15), "Y\ny\t");
    EXPECT_EQ(KeyText(&page, 0x0C), "_\n-\t");
    EXPECT_EQ(KeyText(&page, 0x07), "^\n6\t");
    EXPECT_EQ(KeyText(&page, 0x29), "~\n`\t");
}

TEST_F(HidPageTest, LoadFromDeviceAsksTheReaderWhileBusyAndShowsItsTable) {
    CParamRegisterkarteHID model;
    model.SetChannelFactory(Channels());
    CParamHidPage page(model, host);
    page.show();

    // No reader: the connect's message, then 522; the keys stay as they were.
    Button(&page, 1012)->click();
    const QString before = KeyText(&page, 0x10);
    Button(&page, 1011)->click();
    EXPECT_EQ(MessageTexts(), (QStringList{QString::fromUtf8("Fehler beim Öffnen des Ports"),
                                           QString::fromUtf8("Keine Verbindung zum Gerät")}));
    EXPECT_EQ(KeyText(&page, 0x10), before);
    EXPECT_EQ(keyboard.queries, 0);

    recorder.records.clear();
    host.session = 41;
    Button(&page, 1011)->click();
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
    EXPECT_EQ(keyboard.queries, 126 - 32 + 1);
    EXPECT_EQ(keyboard.sessions, std::vector<int>{41});
    EXPECT_EQ(host.closed, std::vector<int>{41});
    // The wait cursor and no input to the dialog while the reader is asked.
    EXPECT_TRUE(keyboard.busyDuringQueries);
    EXPECT_TRUE(keyboard.waitCursorDuringQueries);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(CBusyGuard::Active());
    // The reader's table replaced the computer's.
    EXPECT_EQ(KeyText(&page, 0x10), "Q\nq\t@");
    EXPECT_EQ(KeyText(&page, 0x15), "Z\nz\t");
    EXPECT_EQ(KeyText(&page, 0x2C), " \n \t");
    EXPECT_EQ(KeyText(&page, 0x07), "&&\n6\t");
    EXPECT_EQ(KeyText(&page, 0x0C), "?\n \t\\");

    // A reader that stops answering: 522, what came before stays, the rest is cleared.
    recorder.records.clear();
    keyboard.keys.clear();
    keyboard.failQueries = 1000;
    Button(&page, 1011)->click();
    EXPECT_EQ(MessageTexts(), QStringList{QString::fromUtf8("Keine Verbindung zum Gerät")});
    EXPECT_EQ(KeyText(&page, 0x10), " \n \t");
}

TEST_F(HidPageTest, ProgrammingDialogOfAnHidReaderShowsTheHidPageWithTheReadersTable) {
    host.session = 17;
    auto dialog = OpenProgramming();
    EXPECT_EQ(dialog->ParamPage(), nullptr);
    CParamHidPage* page = dialog->HidParamPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->objectName(), "page160");
    QTabWidget* tabs = dialog->Tabs();
    EXPECT_EQ(tabs->widget(0), page);
    EXPECT_EQ(tabs->tabText(0), "Parameter");
    EXPECT_EQ(tabs->count(), 6);
    // Opening read the table, without a message, and closed the session.
    EXPECT_TRUE(dialog->ReadResult().keyTable);
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
    EXPECT_EQ(keyboard.queries, 126 - 32 + 1);
    EXPECT_EQ(host.closed, std::vector<int>{17});
    EXPECT_EQ(KeyText(page, 0x10), "Q\nq\t@");
    EXPECT_EQ(KeyText(page, 0x56), ">\n<\t|");
    EXPECT_EQ(Find<QLineEdit>(page, "edit1002")->text(), "500");

    // A timeout outside 100..12700 keeps the page when it is left.
    Find<QLineEdit>(page, "edit1002")->setText("50");
    tabs->setCurrentIndex(2);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(recorder.records.size(), 1);
    Find<QLineEdit>(page, "edit1002")->setText("12700");
    tabs->setCurrentIndex(2);
    EXPECT_EQ(tabs->currentIndex(), 2);
}

TEST_F(HidPageTest, EveryPagesFunctionTestIsTheHidOne) {
    auto dialog = OpenProgramming();
    recorder.records.clear();
    QTabWidget* tabs = dialog->Tabs();
    int hidTests = 0;
    QStringList titles;
    auto expectHidTest = [&] {
        OnModal<QDialog>([&](QDialog* test) {
            titles.append(test->windowTitle());
            if (qobject_cast<CFunktionstestHidDlg*>(test)) {
                ++hidTests;
                auto* field = Find<QPlainTextEdit>(test, "edit1030");
                EXPECT_NE(field, nullptr);
                if (field) {
                    QTest::keyClicks(field, "3000");
                    Find<QPushButton>(test, "button1022")->click();
                    EXPECT_TRUE(field->toPlainText().isEmpty());
                    EXPECT_EQ(test->focusWidget(), field);
                }
            }
            test->reject();
        });
    };
    expectHidTest();
    Button(dialog->HidParamPage(), 1024)->click();
    tabs->setCurrentIndex(2);
    expectHidTest();
    Button(dialog->DataPage(), 1027)->click();
    for (SetupPage keyPage :
         {SetupPage::Prefix, SetupPage::Suffix, SetupPage::Abziehen, SetupPage::Trenner}) {
        tabs->setCurrentIndex(tabs->indexOf(dialog->KeyPage(keyPage)));
        expectHidTest();
        Button(dialog->KeyPage(keyPage), 1026)->click();
    }
    EXPECT_EQ(hidTests, 6) << titles.join('|').toStdString();
    EXPECT_EQ(titles, QStringList(6, QStringLiteral("Funktionstest HID")));
    // The HID function test opens no session.
    EXPECT_EQ(host.connects, 1);
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
}

TEST_F(HidPageTest, HidFileSavedAndLoadedThroughTheDialog) {
    QTemporaryDir dir;
    const QString path = dir.filePath("hid.mkr");
    {
        auto dialog = OpenProgramming();
        recorder.records.clear();
        CParamHidPage* page = dialog->HidParamPage();
        Button(page, 1012)->click();
        Find<QLineEdit>(page, "edit1002")->setText("800");
        files.push_back(path);
        dialog->findChild<QPushButton*>("button32776")->click();
        EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
        EXPECT_TRUE(dialog->windowTitle().endsWith(" - " + path)) << dialog->windowTitle().toStdString();
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(file.readAll());
    EXPECT_TRUE(text.contains("[HID_KEYS]"));
    EXPECT_TRUE(text.contains("ScanCode016AltGr=@"));
    EXPECT_TRUE(text.contains("ScanCode012AltGr=\\"));
    EXPECT_TRUE(text.contains("TimeoutRS232=800"));
    // Of the parameter keys an HID file has the timeout only.
    for (const char* key : {"Betriebsart", "Zykluszeit", "Baudrate", "Aufforderung"})
        EXPECT_FALSE(text.contains(QLatin1String(key))) << key;

    // Into a dialog whose reader has a US table.
    qputenv("XKB_DEFAULT_LAYOUT", "us");
    auto dialog = OpenProgramming();
    CParamHidPage* page = dialog->HidParamPage();
    Button(page, 1012)->click();
    EXPECT_EQ(KeyText(page, 0x15), "Y\ny\t");
    recorder.records.clear();
    files.push_back(path);
    dialog->findChild<QPushButton*>("button32773")->click();
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
    EXPECT_EQ(KeyText(page, 0x15), "Z\nz\t");
    EXPECT_EQ(KeyText(page, 0x10), "Q\nq\t@");
    EXPECT_EQ(KeyText(page, 0x07), "&&\n6\t");
    EXPECT_EQ(Find<QLineEdit>(page, "edit1002")->text(), "800");
    EXPECT_TRUE(dialog->windowTitle().endsWith(" - " + path));
}

// ---------------------------------------------------------------------------
// Against a simulated HID reader: kvplm-readersim --hid as a process, its
// console on stdin/stdout.

class HidReaderProcess {
public:
    ~HidReaderProcess() { Stop(); }

    // Starts the reader with its keyboard table ("us" or "de") and waits for
    // the line that says it is there.
    bool Start(const QString& serial, const QString& table, const QString& socketDir, QString* error) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KVPLM_HID_SIM_DIR"), socketDir);
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral(READERSIM_PATH),
                        {QStringLiteral("--hid"), serial, QStringLiteral("--hid-table"), table,
                         QStringLiteral("--quiet")});
        if (!m_process.waitForStarted(kWaitMs)) {
            *error = m_process.errorString();
            return false;
        }
        const QString line = ReadLine();
        if (!line.contains(serial)) {
            *error = QStringLiteral("no device line: ") + line +
                     QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        return true;
    }
    void Stop() {
        if (m_process.state() == QProcess::NotRunning) return;
        m_process.write("quit\n");
        if (!m_process.waitForFinished(kWaitMs)) {
            m_process.kill();
            m_process.waitForFinished(kWaitMs);
        }
    }
    // The console's answer to a command: its lines.
    QStringList Command(const QString& command) {
        static const QString marker = QStringLiteral("end-of-answer");
        m_process.write((command + QLatin1Char('\n') + marker + QLatin1Char('\n')).toUtf8());
        QStringList lines;
        const QDeadlineTimer deadline(kWaitMs);
        while (!deadline.hasExpired()) {
            const QString line = ReadLine(deadline);
            if (line.contains(QLatin1Char('\'') + marker + QLatin1Char('\''))) return lines;
            if (!line.isNull()) lines.append(line);
        }
        ADD_FAILURE() << "the simulator did not answer " << command.toStdString();
        return lines;
    }

private:
    QString ReadLine(QDeadlineTimer deadline = QDeadlineTimer(kWaitMs)) {
        while (!m_process.canReadLine() && !deadline.hasExpired() && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        if (!m_process.canReadLine()) return QString();
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

    QProcess m_process;
};

const QString kSerial = QStringLiteral("4400-000123");
const QString kListName = kSerial + QStringLiteral(" HID");

class HidReaderTest : public HidPageTest {
protected:
    void SetUp() override {
        HidPageTest::SetUp();
        ASSERT_TRUE(socketDir.isValid());
        // The stand-in in this process looks for readers there.
        qputenv("KVPLM_HID_SIM_DIR", socketDir.path().toLocal8Bit());
    }
    void TearDown() override {
        reader.Stop();
        qunsetenv("KVPLM_HID_SIM_DIR");
        HidPageTest::TearDown();
    }
    // The reader runs and this process lists it; Morvane's stored port names it.
    void StartReader(const QString& table) {
        QString error;
        ASSERT_TRUE(reader.Start(kSerial, table, socketDir.path(), &error)) << error.toStdString();
        char list[512] = {};
        const int used = LinkListHidPorts(list, int(sizeof list));
        ASSERT_GT(used, 0)
            << "no HID reader listed: is the stand-in hidapi library first on LD_LIBRARY_PATH?";
        ASSERT_EQ(QString::fromUtf8(list), kListName);
        StorePort(QStringLiteral("USB: ") + kListName);
    }
    // The real connect of the program, not the test host's.
    std::unique_ptr<CSeriellEinstellDlg> OpenOnReader() {
        auto dialog = std::make_unique<CSeriellEinstellDlg>(nullptr, programHost, 0, 19200, kHidFlags);
        QSignalSpy opened(dialog.get(), &CSeriellEinstellDlg::opened);
        dialog->show();
        EXPECT_TRUE(opened.count() > 0 || opened.wait(kWaitMs));
        return dialog;
    }
    // The simulator's log once it has the line (it notes a closed connection
    // on its own thread, a moment after the close).
    QStringList LogWith(const QString& line) {
        QStringList log;
        const bool found = QTest::qWaitFor(
            [&] {
                log = reader.Command(QStringLiteral("hidlog"));
                return log.contains(line);
            },
            kWaitMs);
        if (!found) ADD_FAILURE() << "the simulator's log has no line " << line.toStdString();
        return log;
    }
    QStringList KeySettings() {
        QStringList settings;
        for (const QString& line : reader.Command(QStringLiteral("hidlog")))
            if (line.startsWith(QStringLiteral("key set"))) settings.append(line);
        return settings;
    }

    QTemporaryDir socketDir;
    HidReaderProcess reader;
    CWidgetSetupHost programHost;
};

TEST_F(HidReaderTest, OpeningOnTheReaderShowsItsTableAndLoadFromDeviceReadsItAgain) {
    StartReader(QStringLiteral("de"));
    auto dialog = OpenOnReader();
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
    EXPECT_TRUE(dialog->ReadResult().connected);
    EXPECT_TRUE(dialog->ReadResult().AllRead());
    EXPECT_TRUE(dialog->ReadResult().keyTable);
    CParamHidPage* page = dialog->HidParamPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(KeyText(page, 0x10), "Q\nq\t@");
    EXPECT_EQ(KeyText(page, 0x15), "Z\nz\t");
    EXPECT_EQ(KeyText(page, 0x2C), "Y\ny\t");
    EXPECT_EQ(KeyText(page, 0x0C), "?\n \t\\");
    // The session is closed again: link state 1 before the close.
    const QStringList log = LogWith(QStringLiteral("the host closed the device"));
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log.front(), "a host opened the device");
    EXPECT_TRUE(log.contains("link state 1"));
    EXPECT_EQ(log.back(), "the host closed the device");

    // The reader gets a US table; "Aus Gerät laden" shows it.
    reader.Command(QStringLiteral("keys us"));
    Button(page, 1011)->click();
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
    EXPECT_EQ(KeyText(page, 0x15), "Y\ny\t");
    EXPECT_EQ(KeyText(page, 0x10), "Q\nq\t");
    EXPECT_EQ(KeyText(page, 0x07), "^\n6\t");

    // A reader that does not answer key queries: 522, the table as far as it came (cleared).
    reader.Command(QStringLiteral("hid ignore-keys on"));
    Button(page, 1011)->click();
    EXPECT_EQ(MessageTexts(), QStringList{QString::fromUtf8("Keine Verbindung zum Gerät")});
    EXPECT_EQ(KeyText(page, 0x15), " \n \t");
}

TEST_F(HidReaderTest, ProgrammingTransfersTheTableOfThePage) {
    StartReader(QStringLiteral("us"));
    auto dialog = OpenOnReader();
    CParamHidPage* page = dialog->HidParamPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(KeyText(page, 0x15), "Y\ny\t");
    // The German table of this computer goes into the reader.
    Button(page, 1012)->click();
    EXPECT_EQ(KeyText(page, 0x15), "Z\nz\t");
    reader.Command(QStringLiteral("hidlog clear"));
    recorder.records.clear();
    dialog->findChild<QPushButton*>("button32774")->click();
    EXPECT_EQ(MessageTexts(), QStringList{"Programmierung erfolgreich abgeschlossen"});
    ASSERT_TRUE(dialog->Model().KeyTableTransferred().has_value());
    EXPECT_TRUE(*dialog->Model().KeyTableTransferred());

    const QStringList settings = KeySettings();
    ASSERT_FALSE(settings.isEmpty());
    // In scan code order, each key Normal, Shift, AltGr: the key "1" (02) first.
    EXPECT_EQ(settings.front(), "key set 31 '1'  modifier 00 usage 1E");
    EXPECT_TRUE(settings.contains("key set 40 '@'  modifier 40 usage 14"));
    EXPECT_TRUE(settings.contains("key set 7A 'z'  modifier 00 usage 1C"));
    EXPECT_TRUE(settings.contains("key set 5A 'Z'  modifier 02 usage 1C"));
    EXPECT_TRUE(settings.contains("key set 5C '\\'  modifier 40 usage 2D"));
    // Last the Escape character on the Escape key.
    EXPECT_EQ(settings.back(), "key set 1B      modifier 00 usage 29");
    // The reader now types the German way.
    const QStringList keys = reader.Command(QStringLiteral("keys"));
    EXPECT_TRUE(keys.contains("79 'y'  modifier 00 usage 1D"));
    EXPECT_TRUE(keys.contains("40 '@'  modifier 40 usage 14"));

    // Read back by a new dialog: the same table.
    auto again = OpenOnReader();
    EXPECT_EQ(KeyText(again->HidParamPage(), 0x15), "Z\nz\t");
    EXPECT_EQ(KeyText(again->HidParamPage(), 0x10), "Q\nq\t@");
}

TEST_F(HidReaderTest, VirtualComSwitchesTheDualModeReaderAndPausesASecond) {
    StartReader(QStringLiteral("us"));
    FakeLists lists;
    lists.SetUsb({kListName});
    lists.virtualCom = true;
    frontend::InterfaceDialog dialog(nullptr, appkit::Program::Morvane, &lists);
    std::vector<int> pauses;
    dialog.Model().SetWait([&](int milliseconds) { pauses.push_back(milliseconds); });
    dialog.show();
    auto* list = Find<QListWidget>(&dialog, "list1012");
    auto* hidMode = Find<QRadioButton>(&dialog, "radio1035");
    auto* virtualCom = Find<QRadioButton>(&dialog, "radio1036");
    ASSERT_TRUE(list && hidMode && virtualCom);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("USB: ") + kListName);
    list->setCurrentRow(0);
    EXPECT_TRUE(hidMode->isEnabled() && virtualCom->isEnabled());
    EXPECT_TRUE(hidMode->isChecked());
    EXPECT_FALSE(virtualCom->isChecked());

    reader.Command(QStringLiteral("hidlog clear"));
    virtualCom->click();
    // Opened, told to switch, closed; then a second for the reader to come back.
    EXPECT_EQ(pauses, std::vector<int>{1000});
    const QStringList log = LogWith(QStringLiteral("the host closed the device"));
    EXPECT_TRUE(log.contains("a host opened the device")) << log.join('|').toStdString();
    EXPECT_TRUE(log.contains("the host closed the device"));
    EXPECT_FALSE(hidMode->isEnabled() || virtualCom->isEnabled());
    EXPECT_FALSE(hidMode->isChecked() || virtualCom->isChecked());

    // A reader that is gone: nothing changes, nothing is shown, no pause.
    reader.Stop();
    pauses.clear();
    list->setCurrentRow(-1);
    list->setCurrentRow(0);
    ASSERT_TRUE(virtualCom->isEnabled());
    virtualCom->click();
    EXPECT_TRUE(pauses.empty());
    EXPECT_TRUE(hidMode->isChecked());
    EXPECT_TRUE(recorder.records.isEmpty()) << MessageTexts().join('|').toStdString();
}

} // namespace
