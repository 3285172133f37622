// The program kit: texts and language modules, settings store, messages,
// wait hooks, help file and device watcher.
#include "DeviceWatcher.h"
#include "HelpOpener.h"
#include "LinkApi.h"
#include "Messages.h"
#include "ProgramInfo.h"
#include "SettingsStore.h"
#include "Texts.h"
#include "UiHooks.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace TextTable {
extern const Entry CommonGerman[];
extern const Entry MorvaneGerman[];
extern const Entry ProgrammerGerman[];
} // namespace TextTable

namespace {

using appkit::Program;
using appkit::Texts;

struct Recording {
    appkit::Messages::Recorder recorder;
    Recording() { appkit::Messages::SetRecorder(&recorder); }
    ~Recording() { appkit::Messages::SetRecorder(nullptr); }
};

TEST(Texts, GermanUntilTheLanguageModuleIsLoadedAndAfterItIsReleased) {
    EXPECT_EQ(Texts::String(Program::Morvane, 521), QString::fromUtf8("Fehler beim Öffnen des Ports"));
    EXPECT_EQ(Texts::Dialog(Program::Morvane, 109, 1003), QString::fromUtf8("Geräteadresse [dez.]"));
    ASSERT_TRUE(Texts::LoadLanguageModule(Program::Morvane));
    EXPECT_TRUE(Texts::LanguageModuleActive(Program::Morvane));
    EXPECT_EQ(Texts::String(Program::Morvane, 521), "Error opening the port");
    EXPECT_EQ(Texts::String(Program::Morvane, 57344), "KV-PLM Morvane");
    EXPECT_EQ(Texts::Key(Program::Morvane, "109.1013.1"), "even");
    EXPECT_EQ(Texts::String(Program::Morvane, 10131).count(QLatin1Char('\n')), 2);
    // The other program keeps its own language.
    EXPECT_EQ(Texts::String(Program::Programmer, 521), QString::fromUtf8("Fehler beim Öffnen des Ports"));
    Texts::ReleaseLanguageModule(Program::Morvane);
    EXPECT_FALSE(Texts::LanguageModuleActive(Program::Morvane));
    EXPECT_EQ(Texts::String(Program::Morvane, 521), QString::fromUtf8("Fehler beim Öffnen des Ports"));
}

TEST(Texts, AMissingOrBrokenModuleLeavesGerman) {
    EXPECT_FALSE(Texts::LoadLanguageModule(Program::Morvane, "/nonexistent/KV_PLM_MorvaneEng.rcc"));
    QTemporaryDir dir;
    const QString broken = dir.filePath("KV_PLM_MorvaneEng.rcc");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a resource file");
    file.close();
    EXPECT_FALSE(Texts::LoadLanguageModule(Program::Morvane, broken));
    EXPECT_FALSE(Texts::LanguageModuleActive(Program::Morvane));
    EXPECT_EQ(Texts::String(Program::Morvane, 522), QString::fromUtf8("Keine Verbindung zum Gerät"));
}

TEST(Texts, EachModuleHasEveryTextOfItsProgram) {
    for (Program program : {Program::Morvane, Program::Programmer}) {
        ASSERT_TRUE(Texts::LoadLanguageModule(program));
        const TextTable::Entry* own =
            program == Program::Morvane ? TextTable::MorvaneGerman : TextTable::ProgrammerGerman;
        for (const TextTable::Entry* table : {own, TextTable::CommonGerman})
            for (const TextTable::Entry* e = table; e->key; ++e)
                EXPECT_TRUE(Texts::ModuleHasKey(program, e->key)) << e->key;
        Texts::ReleaseLanguageModule(program);
    }
    ASSERT_TRUE(Texts::LoadLanguageModule(Program::Programmer));
    EXPECT_EQ(appkit::ProgramInfo::Title(Program::Programmer), "Norda KV-PLM Programmer");
    Texts::ReleaseLanguageModule(Program::Programmer);
}

TEST(ProgramInfo, KeysVersionsAndTitles) {
    EXPECT_EQ(appkit::ProgramInfo::CompanyKey(), "Norda Applikationen");
    EXPECT_EQ(appkit::ProgramInfo::ProgramKey(Program::Morvane), "KV-PLM Morvane");
    EXPECT_EQ(appkit::ProgramInfo::ProgramKey(Program::Programmer), "KV-PLM Programmer");
    EXPECT_EQ(appkit::ProgramInfo::Version(Program::Morvane), "1.04");
    EXPECT_EQ(appkit::ProgramInfo::Version(Program::Programmer), "2.00");
    EXPECT_EQ(appkit::ProgramInfo::Title(Program::Morvane), "KV-PLM Morvane");
    EXPECT_EQ(appkit::ProgramInfo::Title(Program::Programmer), "Norda KV-PLM Programmer");
}

// Touches dir/name, making the folders on the way.
void Touch(const QString& dir, const QString& name, const QByteArray& content = {}) {
    QDir().mkpath(dir);
    QFile file(QDir(dir).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

TEST(DataSearch, TheExecutablesFolderFirstThenTheSharedDataOfItsPrefix) {
    using appkit::ProgramInfo;
    EXPECT_EQ(ProgramInfo::DataDirs("/opt/kv/bin"), QStringList({"/opt/kv/bin", "/opt/kv/share/kvplm"}));
    EXPECT_EQ(ProgramInfo::DataDirs("/opt/kv/bin/"), QStringList({"/opt/kv/bin", "/opt/kv/share/kvplm"}));
    EXPECT_TRUE(ProgramInfo::DataDirs("").isEmpty());
    EXPECT_EQ(ProgramInfo::DataDirs(), ProgramInfo::DataDirs(ProgramInfo::ExecutableDir()));

    QTemporaryDir prefix;
    const QString bin = prefix.filePath("bin"), share = prefix.filePath("share/kvplm");
    QDir().mkpath(bin);
    const QStringList dirs = ProgramInfo::DataDirs(bin);
    ASSERT_EQ(dirs, QStringList({bin, share}));
    // Nowhere: the place next to the executable, which fails to load.
    EXPECT_EQ(Texts::LanguageModulePath(Program::Morvane, dirs), bin + "/KV_PLM_MorvaneEng.rcc");
    EXPECT_EQ(ProgramInfo::FindDataFile("KV_PLM_MorvaneEng.rcc", dirs), "");
    // Installed: the shared folder, and the module found there loads.
    const QString built = Texts::LanguageModulePath(Program::Morvane);
    ASSERT_TRUE(QFile::exists(built)) << built.toStdString();
    QDir().mkpath(share);
    ASSERT_TRUE(QFile::copy(built, share + "/KV_PLM_MorvaneEng.rcc"));
    EXPECT_EQ(Texts::LanguageModulePath(Program::Morvane, dirs), share + "/KV_PLM_MorvaneEng.rcc");
    EXPECT_EQ(Texts::LanguageModulePath(Program::Programmer, dirs), bin + "/KV_PLM_ProgrammerEng.rcc");
    ASSERT_TRUE(
        Texts::LoadLanguageModule(Program::Morvane, Texts::LanguageModulePath(Program::Morvane, dirs)));
    EXPECT_EQ(Texts::String(Program::Morvane, 521), "Error opening the port");
    Texts::ReleaseLanguageModule(Program::Morvane);
    // One next to the executable comes first; a folder of that name is no
    // module.
    Touch(bin, "KV_PLM_MorvaneEng.rcc", "next to the program");
    EXPECT_EQ(Texts::LanguageModulePath(Program::Morvane, dirs), bin + "/KV_PLM_MorvaneEng.rcc");
    QDir().mkpath(bin + "/KV_PLM_ProgrammerEng.rcc");
    Touch(share, "KV_PLM_ProgrammerEng.rcc");
    EXPECT_EQ(Texts::LanguageModulePath(Program::Programmer, dirs), share + "/KV_PLM_ProgrammerEng.rcc");
}

TEST(DataSearch, EachProgramOpensItsOwnManualFromASharedFolder) {
    using appkit::HelpOpener;
    QTemporaryDir prefix;
    const QString bin = prefix.filePath("bin"), share = prefix.filePath("share/kvplm");
    QDir().mkpath(bin);
    const QStringList dirs = appkit::ProgramInfo::DataDirs(bin);
    EXPECT_EQ(HelpOpener::FindHelpFile(dirs, Program::Morvane), "");
    // Both manuals in one folder: each program its own, although the
    // other's comes first by name.
    Touch(share, "KV_PLM_Programmer.pdf");
    EXPECT_EQ(HelpOpener::FindHelpFile(dirs, Program::Morvane), "") << "never the other program's manual";
    Touch(share, "Morvane.pdf");
    EXPECT_EQ(HelpOpener::FindHelpFile(dirs, Program::Morvane), share + "/Morvane.pdf");
    EXPECT_EQ(HelpOpener::FindHelpFile(dirs, Program::Programmer), share + "/KV_PLM_Programmer.pdf");
    // The program's own manual in a later folder beats another PDF in an
    // earlier one; without its own, the first other PDF of the first folder.
    Touch(bin, "Anleitung.pdf");
    EXPECT_EQ(HelpOpener::FindHelpFile(dirs, Program::Morvane), share + "/Morvane.pdf");
    QFile::remove(share + "/Morvane.pdf");
    Touch(share, "A.pdf");
    EXPECT_EQ(HelpOpener::FindHelpFile(dirs, Program::Morvane), bin + "/Anleitung.pdf");
    Touch(bin, "Morvane.pdf");
    EXPECT_EQ(HelpOpener::FindHelpFile(dirs, Program::Morvane), bin + "/Morvane.pdf");

    // Open() follows the current program; the opener gets the file's folder.
    QString openedFile, openedDir;
    HelpOpener::SetOpener([&](const QString& file, const QString& folder) {
        openedFile = file;
        openedDir = folder;
        return 42;
    });
    appkit::ProgramInfo::SetCurrent(Program::Programmer);
    EXPECT_EQ(HelpOpener::Open(dirs), 42);
    appkit::ProgramInfo::SetCurrent(Program::Morvane);
    HelpOpener::SetOpener(nullptr);
    EXPECT_EQ(openedFile, share + "/KV_PLM_Programmer.pdf");
    EXPECT_EQ(openedDir, share);
}

TEST(SettingsStore, RoundTripsPerProgramInTheTestsConfigFolder) {
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_TRUE(config.contains("kvplm-test-config"));
    {
        appkit::SettingsStore store(Program::Morvane);
        store.WriteString("Port", "Name", "/dev/ttyUSB0 [Norda Virtual COM]");
        store.WriteInt("Port", "Baudrate", 9603);
        store.WriteString("Port", "Timeout", "abc");
    }
    appkit::SettingsStore morvane(Program::Morvane);
    EXPECT_EQ(morvane.GetString("Port", "Name"), "/dev/ttyUSB0 [Norda Virtual COM]");
    EXPECT_EQ(morvane.GetInt("Port", "Baudrate", 19200), 9603);
    EXPECT_EQ(morvane.GetInt("Port", "Timeout", 500), 500);
    EXPECT_EQ(morvane.GetInt("Port", "Adresse", 1), 1);
    EXPECT_FALSE(morvane.Contains("Port", "Adresse"));
    appkit::SettingsStore programmer(Program::Programmer);
    EXPECT_EQ(programmer.GetString("Port", "Name", "none"), "none");
    EXPECT_TRUE(QFile::exists(config + "/Norda Applikationen/KV-PLM Morvane.conf"));
}

TEST(Messages, TheRecorderNotesEachMessageAndGivesTheScriptedAnswers) {
    Recording recording;
    appkit::ProgramInfo::SetCurrent(Program::Morvane);
    recording.recorder.answers = {QMessageBox::No};
    EXPECT_EQ(appkit::Messages::Show("Wirklich?", QMessageBox::Yes | QMessageBox::No), QMessageBox::No);
    EXPECT_EQ(appkit::Messages::Show("Noch einmal?", QMessageBox::Yes | QMessageBox::No), QMessageBox::Yes);
    EXPECT_EQ(appkit::Messages::ShowId(521), QMessageBox::Ok);
    appkit::Messages::Show("Info", QMessageBox::Ok, appkit::Messages::Icon::Information, "Eigener Titel");
    const auto& r = recording.recorder.records;
    ASSERT_EQ(r.size(), 4);
    EXPECT_EQ(r[0].title, "KV-PLM Morvane");
    EXPECT_EQ(r[0].icon, appkit::Messages::Icon::Question);
    EXPECT_EQ(r[2].text, QString::fromUtf8("Fehler beim Öffnen des Ports"));
    EXPECT_EQ(r[2].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(r[2].icon, appkit::Messages::Icon::Warning);
    EXPECT_EQ(r[3].title, "Eigener Titel");
    EXPECT_EQ(r[3].icon, appkit::Messages::Icon::Information);
    appkit::ProgramInfo::SetCurrent(Program::Programmer);
    appkit::Messages::Show("x");
    EXPECT_EQ(r.last().title, "Norda KV-PLM Programmer");
    appkit::ProgramInfo::SetCurrent(Program::Morvane);
}

TEST(UiHooks, AWaitKeepsEventsFlowingWithTheMainWindowDisabled) {
    int master = -1, slave = -1;
    char name[64];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    QWidget window;
    window.show();
    appkit::UiHooks::Install(&window);
    int ticks = 0;
    bool disabledDuringWait = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        if (!window.isEnabled()) disabledDuringWait = true;
    });
    timer.start(5);
    // Nobody answers on the pty: two probes wait their time-out.
    EXPECT_EQ(LinkOpen(name, 19200, 0, 60), -11);
    timer.stop();
    appkit::UiHooks::Remove();
    EXPECT_GT(ticks, 0);
    EXPECT_TRUE(disabledDuringWait);
    EXPECT_TRUE(window.isEnabled());
    close(master);
    close(slave);
}

TEST(HelpOpener, OpensTheFirstPdfAndMapsFailuresToTheirMessages) {
    Recording recording;
    QTemporaryDir dir;
    EXPECT_EQ(appkit::HelpOpener::FindHelpFile(dir.path()), "");
    int calls = 0;
    appkit::HelpOpener::SetOpener([&](const QString&, const QString&) {
        ++calls;
        return 42;
    });
    EXPECT_EQ(appkit::HelpOpener::Open(dir.path()), 33); // no PDF: nothing happens
    EXPECT_EQ(calls, 0);
    for (const char* file : {"b.pdf", "a.pdf", "readme.txt"})
        QFile(dir.filePath(file)).open(QIODevice::WriteOnly);
    EXPECT_EQ(appkit::HelpOpener::FindHelpFile(dir.path()), dir.filePath("a.pdf"));

    QString openedFile, openedDir;
    int code = 42;
    appkit::HelpOpener::SetOpener([&](const QString& file, const QString& folder) {
        openedFile = file;
        openedDir = folder;
        return code;
    });
    EXPECT_EQ(appkit::HelpOpener::Open(dir.path()), 42);
    EXPECT_EQ(openedFile, dir.filePath("a.pdf"));
    EXPECT_EQ(openedDir, dir.path());
    EXPECT_TRUE(recording.recorder.records.isEmpty());
    // 32 is no success, but only the codes below it have a message.
    for (int failure : {0, 31, 5, 32})
        code = failure, appkit::HelpOpener::Open(dir.path());
    appkit::HelpOpener::SetOpener(nullptr);
    const auto& r = recording.recorder.records;
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(r[0].text, QString::fromUtf8("Nicht genügend Systemresourcen vorhanden!"));
    EXPECT_EQ(r[1].text, Texts::String(10001));
    EXPECT_TRUE(r[1].text.contains("PDF"));
    EXPECT_EQ(r[2].text, "Unbekannter Fehler 5");
}

TEST(DeviceWatcher, GathersEventsAndReportsEachCodeOnce) {
    appkit::DeviceWatcher watcher; // must not fail without udevd
    QSignalSpy spy(&watcher, &appkit::DeviceWatcher::deviceChange);
    watcher.HandleAction("remove");
    watcher.HandleAction("add");
    watcher.HandleAction("add");
    watcher.HandleAction("bind");
    ASSERT_TRUE(spy.wait(2000));
    QList<int> codes;
    for (const auto& args : spy)
        codes.append(args.at(0).toInt());
    EXPECT_EQ(codes, (QList<int>{0x8000, 0x8004, 7}));
}

} // namespace
