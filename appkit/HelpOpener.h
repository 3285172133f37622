// The help file: the program's manual (Morvane.pdf, KV_PLM_Programmer.pdf),
// else the first other PDF file, in the data folders (ProgramInfo::DataDirs),
// opened with the desktop's default handler. Failures show string 10000 (no resources),
// 10001 (no application for PDF files) or 10002 ("Unbekannter Fehler %d").
#pragma once

#include "ProgramInfo.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace appkit {

class HelpOpener {
public:
    // Opens a file as the desktop would; the result follows the old shell
    // convention: above 32 success, 0 out of resources, 31 no application
    // associated, anything else below 32 another failure (2: file not found).
    using Opener = std::function<int(const QString& file, const QString& directory)>;

    // The first *.pdf in dir (in name order), or "" when there is none.
    static QString FindHelpFile(const QString& dir);
    // The program's help file in the folders: its own manual in the first
    // folder that has it; else the first *.pdf (name order) of the first
    // folder with one, leaving out the other program's manual, so that two
    // programs sharing a folder never open each other's; "" when none.
    static QString FindHelpFile(const QStringList& dirs, Program program);
    // Finds the current program's help file in the data folders and opens
    // it; nothing happens when there is none. Returns the opener's code (33
    // when nothing was to be opened).
    static int Open();
    static int Open(const QString& dir);
    static int Open(const QStringList& dirs);

    // The message for an opener code ("" for success, and for 32, which
    // names no failure of its own).
    static QString FailureText(int code);

    // Null restores the default opener (xdg-mime/QDesktopServices).
    static void SetOpener(Opener opener);
    static int DefaultOpener(const QString& file, const QString& directory);
};

} // namespace appkit
