// programmer-inventory-shot: the picture of the inventory list for its user
// guide, taken from the running program against a simulated programmer.
//
//   programmer-inventory-shot OUTFILE.png
//
// Runs offscreen or under Xvfb. A simulated programmer (in-process, on a
// pty) starts with two transponders; the main dialog connects, the window
// "Inventarliste" is opened from the menu and its cyclic inventory started;
// while it runs more transponders are placed, one is removed, and the
// window is taken with a plain title bar (a bare X server draws none).
#include "InventoryListWindow.h"
#include "Messages.h"
#include "ProgrammerDialog.h"
#include "PtySimulator.h"
#include "SettingsStore.h"
#include "ShotFrame.h"
#include "SimHex.h"
#include "SimReader.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace Programmer;

using ShotFrame::Framed;
using ShotFrame::Settle;

namespace {

CSimTransponder Tag(const char* hex) {
    return CSimTransponder(SimHex::Parse(hex).value());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: programmer-inventory-shot OUTFILE.png\n");
        return 2;
    }
    QTemporaryDir config(QDir::tempPath() + QStringLiteral("/programmer-shot-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("KVPLM_SIM_DIR", config.path().toLocal8Bit());
    appkit::ProgramInfo::SetCurrent(appkit::Program::Programmer);
    QApplication application(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);

    CSimReader::Options readerOptions;
    readerOptions.deviceType = 0x313;
    CSimReader reader(readerOptions);
    reader.RemoveAllTags();
    reader.PlaceTag(Tag("30 74 25 7B F7 19 4E 40 00 00 1A 85")); // SGTIN-96
    reader.PlaceTag(Tag("3174257BF4499602D2000000"));            // SSCC-96
    CPtySimulator::Options simOptions;
    simOptions.announce = false;
    CPtySimulator sim(reader, simOptions);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "no simulated programmer: %s\n", error.c_str());
        return 1;
    }
    appkit::SettingsStore store(appkit::Program::Programmer);
    store.WriteString("Port", "Name", QString::fromStdString(sim.DevicePath()));
    store.WriteInt("Port", "Timeout", 300);
    appkit::Messages::Recorder recorder;
    appkit::Messages::SetRecorder(&recorder);

    ProgrammerDialog dialog;
    dialog.SetChooser([] { return false; });
    dialog.show();
    for (int i = 0; i < 100 && !dialog.Opened(); ++i)
        Settle(50);
    if (dialog.Session() <= 0) {
        std::fprintf(stderr, "the dialog did not connect\n");
        return 1;
    }
    dialog.RunCommand(ProgrammerDialog::InventoryListCommand);
    auto* window = dialog.findChild<InventoryListWindow*>();
    if (!window) return 1;
    window->Start();
    Settle(600);
    reader.PlaceTag(Tag("3274257BF460720000000190"));            // SGLN-96
    reader.PlaceTag(Tag("E2 80 11 05 20 00 74 1B 00 00 00 02")); // not GS1
    Settle(600);
    reader.RemoveTag(SimHex::Parse("3174257BF4499602D2000000").value());
    reader.PlaceTag(Tag("3374257BF40C0E4000000190")); // GRAI-96
    reader.PlaceTag(Tag("3074257BF7194E4000001A86"));
    Settle(900);
    const QImage picture = Framed(window, window->grab().toImage());
    window->Stop();
    sim.Stop();
    if (!picture.save(out)) {
        std::fprintf(stderr, "cannot save %s\n", out.toUtf8().constData());
        return 1;
    }
    std::printf("%s  %dx%d\n", out.toUtf8().constData(), picture.width(), picture.height());
    return 0;
}
