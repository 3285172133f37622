#include "CompareDialog.h"

#include "BusyGuard.h"
#include "FixedFont.h"
#include "Texts.h"
#include "WaitCursor.h"
#include "WidgetSetupHost.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kCaption = 9451;
constexpr int kNoDifferences = 9452;
constexpr int kClose = 9453;
constexpr int kHeader = 9454; // "Leser -> %s"
} // namespace

CCompareDialog::CCompareDialog(QWidget* parent, const QString& file,
                               const std::vector<ConfigDiff::Difference>& differences)
    : QDialog(parent), m_equal(differences.empty()) {
    setObjectName(QStringLiteral("compareDialog"));
    setWindowTitle(appkit::Texts::String(kCaption));
    m_header = new QLabel(appkit::Texts::String(kHeader).replace(QStringLiteral("%s"), file), this);
    m_header->setObjectName(QStringLiteral("compareHeader"));
    m_header->setTextFormat(Qt::PlainText);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("compareLines"));
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFont(FixedFont::Get());
    if (differences.empty()) {
        m_list->addItem(appkit::Texts::String(kNoDifferences));
    } else {
        for (const ConfigDiff::Difference& difference : differences)
            m_list->addItem(QString::fromStdString(ConfigDiff::Line(difference)));
    }
    const QFontMetrics metrics(m_list->font());
    m_list->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 60, metrics.lineSpacing() * 16);

    auto* close = new QPushButton(appkit::Texts::String(kClose), this);
    close->setObjectName(QStringLiteral("compareClose"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
}

QStringList CCompareDialog::Lines() const {
    QStringList lines;
    for (int i = 0; i < m_list->count(); ++i)
        lines.append(m_list->item(i)->text());
    return lines;
}

bool CCompareDialog::Run(QWidget* parent, CWidgetSetupHost& host) {
    QWidget* previousParent = host.DialogParent();
    host.SetDialogParent(parent);
    std::optional<std::string> file = host.ChooseOpenFile();
    std::optional<ConfigDiff::Configuration> reader, loaded;
    if (file) {
        CBusyGuard busy(parent);
        appkit::WaitCursor wait;
        reader = ConfigDiff::ReadReader(host);
        // The file as the reader's pages would load it.
        if (reader) loaded = ConfigDiff::LoadFile(host, *file, reader->hid);
    }
    host.SetDialogParent(previousParent);
    if (!reader || !loaded) return false;
    CCompareDialog dialog(parent, QFileInfo(QString::fromStdString(*file)).fileName(),
                          ConfigDiff::Compare(*reader, *loaded));
    dialog.exec();
    return true;
}
