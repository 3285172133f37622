// ProgrammerShell: KV_PLM_Programmer as a program. The language of the
// settings ("Settings"/"Sprache" of "KV-PLM Programmer": 0 German, 1
// English), then the main dialog, run modally; a dialog that ends because
// the language was switched is created anew in the new language.
#pragma once

#include <QString>
#include <functional>

namespace Programmer {

class ProgrammerDialog;

class ProgrammerShell {
public:
    // "Sprache" above 0 loads the English module KV_PLM_ProgrammerEng.rcc
    // next to the executable (missing: German, without a word); 0 releases
    // one that is loaded. The standard buttons of message boxes follow
    // (Qt's own German texts while the program is German).
    static void ApplyLanguage();
    // Where the English module is looked for ("": next to the executable).
    static void SetLanguageModulePath(const QString& path);

    // The link library's waits disable the main dialog while no other
    // dialog is open over it, and keep the events going.
    static void InstallHooks(ProgrammerDialog& dialog);

    // Called with each main dialog before it runs (tests and the demo
    // drive the dialog from here).
    using DialogHook = std::function<void(ProgrammerDialog&)>;
    // Runs the main dialog until it ends for a reason other than a language
    // switch; returns that last result.
    static int Run(const DialogHook& created = {});
};

} // namespace Programmer
