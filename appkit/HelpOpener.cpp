#include "HelpOpener.h"

#include "Messages.h"
#include "ProgramInfo.h"
#include "Texts.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace appkit {

namespace {

HelpOpener::Opener opener;

constexpr int Opened = 33;
constexpr int NoResources = 0;
constexpr int FileNotFound = 2;
constexpr int NoAssociation = 31;

// Whether the desktop knows an application for PDF files; true when it
// cannot be asked.
bool PdfHandlerKnown() {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return true;
    QProcess query;
    query.start(xdgMime,
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/pdf")});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return true;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace

QString HelpOpener::FindHelpFile(const QString& dir) {
    const QStringList pdfs =
        QDir(dir).entryList({QStringLiteral("*.pdf"), QStringLiteral("*.PDF")}, QDir::Files, QDir::Name);
    return pdfs.isEmpty() ? QString() : QDir(dir).filePath(pdfs.first());
}

QString HelpOpener::FindHelpFile(const QStringList& dirs, Program program) {
    const QString own = ProgramInfo::HelpFileName(program);
    const QString found = ProgramInfo::FindDataFile(own, dirs);
    if (!found.isEmpty()) return found;
    const QString other =
        ProgramInfo::HelpFileName(program == Program::Morvane ? Program::Programmer : Program::Morvane);
    for (const QString& dir : dirs) {
        const QStringList pdfs =
            QDir(dir).entryList({QStringLiteral("*.pdf"), QStringLiteral("*.PDF")}, QDir::Files, QDir::Name);
        for (const QString& pdf : pdfs)
            if (pdf != other) return QDir(dir).filePath(pdf);
    }
    return {};
}

int HelpOpener::DefaultOpener(const QString& file, const QString&) {
    if (!QFileInfo(file).isReadable()) return FileNotFound;
    if (!PdfHandlerKnown()) return NoAssociation;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file)) ? Opened : NoAssociation;
}

void HelpOpener::SetOpener(Opener newOpener) {
    opener = std::move(newOpener);
}

QString HelpOpener::FailureText(int code) {
    // Above 32 the file was opened; 32 itself is a failure without a message.
    if (code >= 32) return {};
    if (code == NoResources) return Texts::String(10000);
    if (code == NoAssociation) return Texts::String(10001);
    return QString::asprintf(Texts::String(10002).toUtf8().constData(), code);
}

int HelpOpener::Open() {
    return Open(ProgramInfo::DataDirs());
}

int HelpOpener::Open(const QString& dir) {
    return Open(QStringList{dir});
}

int HelpOpener::Open(const QStringList& dirs) {
    const QString file = FindHelpFile(dirs, ProgramInfo::Current());
    if (file.isEmpty()) return Opened;
    const QString dir = QFileInfo(file).path();
    const int code = opener ? opener(file, dir) : DefaultOpener(file, dir);
    if (code < 32) Messages::Show(FailureText(code));
    return code;
}

} // namespace appkit
