#include "Texts.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QResource>
#include <memory>

namespace appkit {

namespace {

struct Module {
    QString path;
    QString root;
    std::shared_ptr<const QHash<QString, QString>> texts;
};

QMutex modulesMutex;
QHash<int, Module> modules;

int Index(Program program) {
    return program == Program::Morvane ? 0 : 1;
}

// Reads one "KEY<TAB>text" table into texts; entries already there win.
bool ReadTable(const QString& file, QHash<QString, QString>& texts) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return false;
    const QList<QByteArray> lines = in.readAll().split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        const int tab = line.indexOf('\t');
        if (line.isEmpty() || line.startsWith('#') || tab <= 0) continue;
        const QString key = QString::fromUtf8(line.left(tab));
        if (texts.contains(key)) continue;
        texts.insert(key, QString::fromStdString(TextTable::Unescape(line.mid(tab + 1).toStdString())));
    }
    return true;
}

} // namespace

QString Texts::Key(Program program, const QString& key) {
    return QString::fromStdString(TextTable::Get(program, key.toStdString()));
}

QString Texts::String(Program program, int id) {
    return QString::fromStdString(TextTable::Get(program, id));
}

QString Texts::Dialog(Program program, int dialog, int control) {
    return QString::fromStdString(TextTable::Dialog(program, dialog, control));
}

QString Texts::LanguageModulePath(Program program) {
    return LanguageModulePath(program, ProgramInfo::DataDirs());
}

QString Texts::LanguageModulePath(Program program, const QStringList& dirs) {
    const QString name = ProgramInfo::LanguageModuleName(program);
    const QString found = ProgramInfo::FindDataFile(name, dirs);
    // None anywhere: the place next to the executable, which then fails to
    // load as a missing module does.
    if (!found.isEmpty() || dirs.isEmpty()) return found;
    return QDir(dirs.first()).filePath(name);
}

bool Texts::LoadLanguageModule(Program program) {
    return LoadLanguageModule(program, LanguageModulePath(program));
}

bool Texts::LoadLanguageModule(Program program, const QString& path) {
    ReleaseLanguageModule(program);
    if (!QFile::exists(path)) return false;
    // Each program's module gets a root of its own.
    const QString root = QStringLiteral("/kvplm-language-%1").arg(Index(program));
    if (!QResource::registerResource(path, root)) return false;
    auto texts = std::make_shared<QHash<QString, QString>>();
    const bool own = ReadTable(QStringLiteral(":%1/program.tsv").arg(root), *texts);
    const bool common = ReadTable(QStringLiteral(":%1/common.tsv").arg(root), *texts);
    if (!own && !common) {
        QResource::unregisterResource(path, root);
        return false;
    }
    {
        QMutexLocker lock(&modulesMutex);
        modules.insert(Index(program), Module{path, root, texts});
    }
    std::shared_ptr<const QHash<QString, QString>> shared = texts;
    TextTable::SetOverride(program, [shared](const std::string& key, bool& found) {
        const auto it = shared->constFind(QString::fromStdString(key));
        found = it != shared->constEnd();
        return found ? it->toStdString() : std::string();
    });
    return true;
}

void Texts::ReleaseLanguageModule(Program program) {
    Module module;
    {
        QMutexLocker lock(&modulesMutex);
        if (!modules.contains(Index(program))) return;
        module = modules.take(Index(program));
    }
    TextTable::ClearOverride(program);
    QResource::unregisterResource(module.path, module.root);
}

bool Texts::ModuleHasKey(Program program, const QString& key) {
    QMutexLocker lock(&modulesMutex);
    const auto it = modules.constFind(Index(program));
    return it != modules.constEnd() && it->texts->contains(key);
}

bool Texts::LanguageModuleActive(Program program) {
    QMutexLocker lock(&modulesMutex);
    return modules.contains(Index(program));
}

} // namespace appkit
