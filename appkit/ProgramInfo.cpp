#include "ProgramInfo.h"

#include "Texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <atomic>

#ifndef KVPLM_MORVANE_VERSION
#define KVPLM_MORVANE_VERSION ""
#endif
#ifndef KVPLM_PROGRAMMER_VERSION
#define KVPLM_PROGRAMMER_VERSION ""
#endif

namespace appkit {

namespace {
std::atomic<Program> current{Program::Morvane};
}

void ProgramInfo::SetCurrent(Program program) {
    current = program;
}

Program ProgramInfo::Current() {
    return current;
}

QString ProgramInfo::CompanyKey() {
    return QStringLiteral("Norda Applikationen");
}

QString ProgramInfo::ProgramKey(Program program) {
    return program == Program::Morvane ? QStringLiteral("KV-PLM Morvane")
                                       : QStringLiteral("KV-PLM Programmer");
}

QString ProgramInfo::Version(Program program) {
    const QString version =
        QString::fromLatin1(program == Program::Morvane ? KVPLM_MORVANE_VERSION : KVPLM_PROGRAMMER_VERSION);
    return version.isEmpty() ? QStringLiteral("1.xx") : version;
}

QString ProgramInfo::Title(Program program) {
    return program == Program::Morvane ? Texts::String(program, 57344) : Texts::Dialog(program, 102, 0);
}

QString ProgramInfo::LanguageModuleName(Program program) {
    return program == Program::Morvane ? QStringLiteral("KV_PLM_MorvaneEng.rcc")
                                       : QStringLiteral("KV_PLM_ProgrammerEng.rcc");
}

QString ProgramInfo::HelpFileName(Program program) {
    return program == Program::Morvane ? QStringLiteral("Morvane.pdf")
                                       : QStringLiteral("KV_PLM_Programmer.pdf");
}

QStringList ProgramInfo::DataDirs(const QString& executableDir) {
    if (executableDir.isEmpty()) return {};
    return {QDir::cleanPath(executableDir),
            QDir::cleanPath(executableDir + QStringLiteral("/../share/kvplm"))};
}

QString ProgramInfo::FindDataFile(const QString& name, const QStringList& dirs) {
    for (const QString& dir : dirs) {
        const QString path = QDir(dir).filePath(name);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

QString ProgramInfo::ExecutableDir() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

} // namespace appkit
