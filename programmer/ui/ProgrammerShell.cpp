#include "ProgrammerShell.h"

#include "ProgrammerDialog.h"
#include "SettingsStore.h"
#include "Texts.h"
#include "UiHooks.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>
#include <memory>

namespace Programmer {

namespace {

constexpr appkit::Program kProgram = appkit::Program::Programmer;

// Qt's own texts (the Yes/No buttons of question 125) in German.
std::unique_ptr<QTranslator> qtGerman;
QString modulePath;

void SetQtGerman(bool german) {
    if (german && !qtGerman) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(QStringLiteral("qtbase_de"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
            QCoreApplication::installTranslator(translator.get()))
            qtGerman = std::move(translator);
    } else if (!german && qtGerman) {
        QCoreApplication::removeTranslator(qtGerman.get());
        qtGerman.reset();
    }
}

} // namespace

void ProgrammerShell::ApplyLanguage() {
    const int sprache =
        appkit::SettingsStore(kProgram).GetInt(QStringLiteral("Settings"), QStringLiteral("Sprache"), 0);
    if (sprache > 0) // a missing module leaves German, silently
        appkit::Texts::LoadLanguageModule(
            kProgram, modulePath.isEmpty() ? appkit::Texts::LanguageModulePath(kProgram) : modulePath);
    else if (appkit::Texts::LanguageModuleActive(kProgram))
        appkit::Texts::ReleaseLanguageModule(kProgram);
    SetQtGerman(!appkit::Texts::LanguageModuleActive(kProgram));
}

void ProgrammerShell::SetLanguageModulePath(const QString& path) {
    modulePath = path;
}

void ProgrammerShell::InstallHooks(ProgrammerDialog& dialog) {
    QPointer<ProgrammerDialog> main(&dialog);
    appkit::UiHooks::Install([main]() -> QWidget* {
        // A dialog over the main dialog (interface, LAN settings) is its
        // child: disabling the main dialog would disable that one too.
        QWidget* modal = QApplication::activeModalWidget();
        return modal && modal != main ? nullptr : main.data();
    });
}

int ProgrammerShell::Run(const DialogHook& created) {
    for (;;) {
        ApplyLanguage();
        ProgrammerDialog dialog;
        InstallHooks(dialog);
        if (created) created(dialog);
        const int result = dialog.exec();
        appkit::UiHooks::Remove();
        if (result != ProgrammerDialog::LanguageChanged) return result;
    }
}

} // namespace Programmer
