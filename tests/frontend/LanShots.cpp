// kvplm-lan-shots: pictures of the network list in the interface dialog and
// of the LAN settings dialog for the user guides.
//
//   kvplm-lan-shots OUTDIR [--stand-in]
//
// Runs offscreen or under Xvfb. Two simulated network readers are started
// (kvplm-readersim --lan 127.0.0.2, and 127.0.0.3 with DHCP under LAGER1),
// the searches broadcast to 127.255.255.255, and Morvane's settings (in a
// temporary folder) name the first one. Then: the interface dialog with
// Ethernet on and the network reader chosen; the LAN settings dialog as it
// opens; its address changed to 127.0.0.4 and OK, with a picture while the
// reader is looked for; the dialog again with DHCP chosen. With --stand-in
// the network is played inside the program (the same values, no sockets).
// Prints what it stored and found; exit status 0 when all went as expected.
#include "FrontendTestSupport.h"
#include "InterfaceDialog.h"
#include "IpAddressEdit.h"
#include "LanDialog.h"
#include "LanTestSupport.h"
#include "Messages.h"
#include "UiHooks.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

QString outDir;
int failures = 0;

void Settle(int milliseconds = 150) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window's picture under a plain title bar with its title (a bare X
// server draws none).
QImage Framed(QWidget* window, const QImage& content) {
    const int bar = 28;
    QImage image(content.width() + 2, content.height() + bar + 1, QImage::Format_RGB32);
    image.fill(QColor(0x3a, 0x4a, 0x56));
    QPainter painter(&image);
    painter.drawImage(1, bar, content);
    QFont font = QApplication::font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(10, 0, image.width() - 70, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     window->windowTitle());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xd9, 0x6c, 0x4f));
    painter.drawEllipse(QPointF(image.width() - 16, bar / 2.0), 6, 6);
    return image;
}

void Shoot(QWidget* window, const QString& name, bool settle = true) {
    if (settle) Settle();
    const QImage picture = Framed(window, window->grab().toImage());
    const QString path = outDir + QLatin1Char('/') + name;
    if (picture.save(path))
        std::printf("%s  %dx%d\n", path.toUtf8().constData(), picture.width(), picture.height());
    else
        std::fprintf(stderr, "cannot save %s\n", path.toUtf8().constData()), ++failures;
}

bool Check(bool condition, const char* what) {
    if (!condition) std::fprintf(stderr, "failed: %s\n", what), ++failures;
    return condition;
}

// A simulated network reader as its own process, until destroyed.
class LanReader {
public:
    explicit LanReader(const QStringList& args) {
        m_process.setProgram(QStringLiteral(READERSIM_PATH));
        m_process.setArguments(args + QStringList{QStringLiteral("--quiet")});
        m_process.start();
        // It says where it serves once it does.
        started = m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000);
        line = QString::fromUtf8(m_process.readLine()).trimmed();
    }
    ~LanReader() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool started = false;
    QString line;

private:
    QProcess m_process;
};

// The stand-in network: the first reader's record 0, and a reader that
// answers under its new address after a second.
struct StandIn {
    FakeLists lists;
    FakeLanLink link;
    StandIn() {
        lists.serial = {"/dev/ttyS0", "/dev/ttyUSB0 [Norda Virtual COM]"};
        lists.lan = {"127.0.0.2-10001", "[LAGER1]"};
        link.block = LanBlockBytes({127, 0, 0, 2}, 8, 10001, "");
        link.foundFrom = 4;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kvplm-lan-shots OUTDIR [--stand-in]\n");
        return 2;
    }
    const bool standIn = argc > 2 && QByteArray(argv[2]) == "--stand-in";
    QTemporaryDir config(QDir::tempPath() + QStringLiteral("/kvplm-lan-shots-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("KVPLM_SIM_DIR", config.path().toLocal8Bit());
    qputenv("KVPLM_LAN_BROADCAST", "127.255.255.255");
    appkit::ProgramInfo::SetCurrent(appkit::Program::Morvane);
    QApplication application(argc, argv);
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);

    std::unique_ptr<StandIn> fake;
    std::unique_ptr<LanReader> first, second;
    if (standIn) {
        fake = std::make_unique<StandIn>();
    } else {
        first = std::make_unique<LanReader>(QStringList{"--lan", "127.0.0.2", "--restart-delay", "800"});
        second = std::make_unique<LanReader>(QStringList{"--lan", "127.0.0.3", "--lan-dhcp", "LAGER1"});
        if (!Check(first->started && second->started, "the simulated network readers started")) return 1;
        std::printf("reader:    %s\nreader:    %s\n", first->line.toUtf8().constData(),
                    second->line.toUtf8().constData());
    }
    frontend::DeviceLists* lists = fake ? &fake->lists : nullptr;
    frontend::LanLink* link = fake ? &fake->link : nullptr;
    StorePort("LAN: 127.0.0.2-10001", 19200, 500, 1, 1);
    appkit::Messages::Recorder recorder;
    appkit::Messages::SetRecorder(&recorder);
    QWidget main;
    appkit::UiHooks::Install([]() -> QWidget* { return nullptr; });

    // The interface dialog with Ethernet on: the network readers listed.
    {
        frontend::InterfaceDialog dialog(nullptr, appkit::Program::Morvane, lists);
        dialog.move(0, 0);
        dialog.show();
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("list1012"));
        Check(list->currentItem() && list->currentItem()->text() == "LAN: 127.0.0.2-10001",
              "the interface dialog lists and selects LAN: 127.0.0.2-10001");
        Shoot(&dialog, QStringLiteral("lan-interface-dialog.png"));
        dialog.reject();
    }

    // The LAN settings dialog as it opens, then a new address and OK.
    {
        frontend::LanDialog dialog(nullptr, appkit::Program::Morvane, link, lists);
        dialog.move(0, 0);
        dialog.show();
        Shoot(&dialog, QStringLiteral("lan-settings.png"));
        auto* address = dialog.findChild<frontend::IpAddressEdit*>(QStringLiteral("ip1243"));
        Check(address->Octets() == QStringList({"127", "0", "0", "2"}), "the dialog shows 127.0.0.2");
        address->Field(3)->setText(QStringLiteral("4"));
        bool shot = false;
        QObject::connect(&dialog, &frontend::LanDialog::progressShown, [&](int progress) {
            if (shot || progress < 300) return;
            shot = true;
            Shoot(&dialog, QStringLiteral("lan-settings-refind.png"), false);
        });
        if (fake) fake->link.onFind = [] { Settle(200); };
        QEventLoop done;
        QObject::connect(&dialog, &QDialog::finished, &done, &QEventLoop::quit);
        QTimer::singleShot(40000, &done, &QEventLoop::quit);
        dialog.findChild<QPushButton*>(QStringLiteral("buttonOk"))->click();
        if (dialog.isVisible()) done.exec();
        Check(shot, "a picture during the re-find");
        Check(dialog.result() == QDialog::Accepted && dialog.Model().Found(), "the reader was found again");
        std::printf("found:     %s after %d ms\n", dialog.Model().Found() ? "yes" : "no",
                    dialog.Model().Progress());
        std::printf("stored:    %s\n", StoredName().toUtf8().constData());
        Check(StoredName() == "LAN: 127.0.0.4-10001", "LAN: 127.0.0.4-10001 stored");
    }

    // Once more, with DHCP chosen (and cancelled).
    {
        if (fake) fake->link.block = LanBlockBytes({127, 0, 0, 4}, 8, 10001, "");
        if (fake) fake->lists.lan = {"127.0.0.4-10001", "[LAGER1]"};
        frontend::LanDialog dialog(nullptr, appkit::Program::Morvane, link, lists);
        dialog.move(0, 0);
        dialog.show();
        dialog.findChild<QRadioButton*>(QStringLiteral("radio1251"))->click();
        dialog.findChild<QLineEdit*>(QStringLiteral("edit1247"))->setText(QStringLiteral("LAGER2"));
        Shoot(&dialog, QStringLiteral("lan-settings-dhcp.png"));
        dialog.reject();
    }
    for (const appkit::Messages::Record& record : recorder.records)
        std::printf("message:   %s\n", record.text.toUtf8().constData());
    appkit::UiHooks::Remove();
    appkit::Messages::SetRecorder(nullptr);
    return failures == 0 ? 0 : 1;
}
