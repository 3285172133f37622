#include "AboutDialog.h"

#include "ProgramIcon.h"
#include "ProgramInfo.h"
#include "Texts.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Programmer {

namespace {
constexpr appkit::Program kProgram = appkit::Program::Programmer;
}

QString AboutDialog::VersionText() {
    return appkit::Texts::Dialog(kProgram, 100, 101) + QLatin1Char(' ') +
           appkit::ProgramInfo::Version(kProgram);
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dialog100"));
    setWindowTitle(appkit::Texts::Dialog(kProgram, 100, 0));
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(48, 48));
    auto* text = new QLabel(VersionText(), this);
    text->setObjectName(QStringLiteral("static101"));
    auto* ok = new QPushButton(appkit::Texts::Dialog(kProgram, 100, 1), this);
    ok->setObjectName(QStringLiteral("buttonOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addSpacing(12);
    row->addWidget(text, 1, Qt::AlignVCenter);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace Programmer
