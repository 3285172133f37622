// Which program is running, and what follows from that: its settings key,
// its title, its version and the file name of its language module.
#pragma once

#include "TextTable.h"

#include <QString>
#include <QStringList>

namespace appkit {

using Program = TextTable::Program;

class ProgramInfo {
public:
    // Set once at start-up (before settings, texts or messages are used).
    static void SetCurrent(Program program);
    static Program Current();

    // "Norda Applikationen"
    static QString CompanyKey();
    // "KV-PLM Morvane" / "KV-PLM Programmer"
    static QString ProgramKey(Program program);
    static QString ProgramKey() { return ProgramKey(Current()); }

    // The program's version ("1.04", "2.00"); "1.xx" when none is built in.
    static QString Version(Program program);
    static QString Version() { return Version(Current()); }

    // The program title in the active language: string 57344 (Morvane), the
    // caption of dialog 102 (the programmer's main dialog).
    static QString Title(Program program);
    static QString Title() { return Title(Current()); }

    // "KV_PLM_MorvaneEng.rcc" / "KV_PLM_ProgrammerEng.rcc"
    static QString LanguageModuleName(Program program);
    // "Morvane.pdf" / "KV_PLM_Programmer.pdf": the program's manual.
    static QString HelpFileName(Program program);
    // The folder of the running executable.
    static QString ExecutableDir();

    // Where the programs look for their data (language modules, manuals),
    // in this order: the executable's folder (a build tree, or a folder
    // copied as it is), then <exe dir>/../share/kvplm (an installed prefix).
    static QStringList DataDirs(const QString& executableDir);
    static QStringList DataDirs() { return DataDirs(ExecutableDir()); }
    // The first dirs/name that exists as a file; "" when none does.
    static QString FindDataFile(const QString& name, const QStringList& dirs);
};

} // namespace appkit
