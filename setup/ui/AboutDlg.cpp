#include "AboutDlg.h"

#include "Artwork.h"
#include "PageWidgets.h"
#include "ProgramInfo.h"

#include "LinkApi.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

using PageWidgets::Text;

namespace {

constexpr int kDialog = 100;
constexpr int kDescription = 102, kWebLabel = 105, kMailLabel = 106;

QLabel* Static(QWidget* parent, int control, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("static%1").arg(control));
    return label;
}

// A static whose text opens with the default handler when clicked.
QLabel* Address(QWidget* parent, int control) {
    const QString address = Text(kDialog, control);
    QLabel* label = Static(parent, control, QString());
    label->setTextFormat(Qt::RichText);
    label->setText(
        QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(CAboutDlg::AddressUrl(address).toString(QUrl::FullyEncoded), address.toHtmlEscaped()));
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setCursor(Qt::PointingHandCursor);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    return label;
}

} // namespace

QString CAboutDlg::SdkVersionText(const QString& format, int linkVersion) {
    QString text = format;
    return text.replace(QLatin1String("%.02f"), QString::number(linkVersion * 0.01, 'f', 2));
}

QUrl CAboutDlg::AddressUrl(const QString& address) {
    if (address.contains(QLatin1Char('@')) && !address.contains(QLatin1Char(':')))
        return QUrl(QStringLiteral("mailto:") + address);
    return QUrl(address);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dialog100"));
    setWindowTitle(Text(kDialog, 0));

    auto* icon = new QLabel(this);
    icon->setPixmap(Artwork::ToolIcon(Artwork::Tool::Program).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    QLabel* program =
        Static(this, 101, Text(kDialog, 101) + QLatin1Char(' ') + appkit::ProgramInfo::Version());
    QFont bold = program->font();
    bold.setBold(true);
    program->setFont(bold);
    QLabel* sdk = Static(this, 1012, SdkVersionText(Text(kDialog, 1012), LinkGetVersion()));
    QLabel* description = Static(this, kDescription, Text(kDialog, kDescription));

    auto* contact = new QGridLayout;
    contact->addWidget(new QLabel(Text(kDialog, kWebLabel), this), 0, 0);
    contact->addWidget(Address(this, 103), 0, 1);
    contact->addWidget(new QLabel(Text(kDialog, kMailLabel), this), 1, 0);
    contact->addWidget(Address(this, 104), 1, 1);
    contact->setColumnStretch(2, 1);

    auto* texts = new QVBoxLayout;
    texts->addWidget(program);
    texts->addWidget(sdk);
    texts->addSpacing(6);
    texts->addWidget(description);
    texts->addSpacing(6);
    texts->addLayout(contact);

    auto* ok = PageWidgets::Button(this, kDialog, 1);
    ok->setDefault(true);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addSpacing(8);
    layout->addLayout(texts, 1);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
