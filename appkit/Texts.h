// Texts: every user-visible text by its id, as QString.
//
// The German texts are compiled in (TextTable). A language module is a Qt
// binary resource file in the data folders, ProgramInfo::DataDirs (KV_PLM_MorvaneEng.rcc,
// KV_PLM_ProgrammerEng.rcc) holding the English tables under the same keys:
// "common.tsv" and "program.tsv", one "KEY<TAB>text" line each, with the
// tables' C escapes. Loaded, it answers for every key it has; released, the
// German texts are back.
#pragma once

#include "ProgramInfo.h"

#include <QString>

namespace appkit {

class Texts {
public:
    // String table text ("" when the id has none).
    static QString String(Program program, int id);
    static QString String(int id) { return String(ProgramInfo::Current(), id); }
    // Dialog texts: control 0 is the caption.
    static QString Dialog(Program program, int dialog, int control);
    static QString Dialog(int dialog, int control) { return Dialog(ProgramInfo::Current(), dialog, control); }
    static QString Key(Program program, const QString& key);

    // Loads the language module at path for the program, releasing one that
    // is loaded. False (and German stays) when the file cannot be registered
    // or holds no table.
    static bool LoadLanguageModule(Program program, const QString& path);
    // The program's module from the data folders (ProgramInfo::DataDirs).
    static bool LoadLanguageModule(Program program);
    static void ReleaseLanguageModule(Program program);
    static bool LanguageModuleActive(Program program);
    // Whether the loaded module has its own text for the key.
    static bool ModuleHasKey(Program program, const QString& key);
    // The first of the data folders holding the program's module; without
    // one, the path next to the executable (which then fails to load).
    static QString LanguageModulePath(Program program);
    static QString LanguageModulePath(Program program, const QStringList& dirs);
};

} // namespace appkit
