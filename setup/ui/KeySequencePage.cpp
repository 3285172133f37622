#include "KeySequencePage.h"

#include "Artwork.h"
#include "FixedFont.h"
#include "KeyCodes.h"
#include "PageWidgets.h"
#include "SetupHost.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kDialog = 106;

QString Text(int control) {
    return PageWidgets::Text(kDialog, control);
}

QPushButton* Button(QWidget* parent, int control) {
    return PageWidgets::Button(parent, kDialog, control);
}

} // namespace

CKeySequencePage::CKeySequencePage(CEingabeBasisRegisterkarte& model, ISetupHost& host, QWidget* parent)
    : QWidget(parent), m_model(model), m_host(host) {
    using Page = CEingabeBasisRegisterkarte;
    auto* label = new QLabel(Text(Page::IdLabel), this);
    label->setObjectName(QStringLiteral("label1018"));
    m_entry = new QLineEdit(this);
    m_entry->setObjectName(QStringLiteral("edit1040"));
    label->setBuddy(m_entry);
    m_codes = new QListWidget(this);
    m_codes->setObjectName(QStringLiteral("list1040"));
    for (int code = 0; code < KeyCodes::ListSize; ++code)
        m_codes->addItem(QString::fromStdString(KeyCodes::ListEntry(code)));
    m_codes->setMinimumWidth(150);

    m_items = new QTreeWidget(this);
    m_items->setObjectName(QStringLiteral("list1020"));
    m_items->setColumnCount(1);
    m_items->setRootIsDecorated(false);
    m_items->setUniformRowHeights(true);
    m_items->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_items->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_items->header()->setStretchLastSection(true);
    m_items->header()->setSectionsMovable(false);
    m_items->setMinimumWidth(240);
    // The rows are "%02X H     name": a fixed-width font keeps the names in line.
    m_items->setFont(FixedFont::Get());
    m_items->header()->setFont(font());

    m_accept = Button(this, Page::IdAccept);
    m_delete = Button(this, Page::IdDelete);
    m_clear = Button(this, Page::IdClear);
    m_up = new QPushButton(this);
    m_up->setObjectName(QStringLiteral("button1119"));
    m_up->setIcon(Artwork::ArrowIcon(true));
    m_up->setIconSize(QSize(22, 22));
    m_up->setToolTip(Text(Page::IdUp));
    m_down = new QPushButton(this);
    m_down->setObjectName(QStringLiteral("button1120"));
    m_down->setIcon(Artwork::ArrowIcon(false));
    m_down->setIconSize(QSize(22, 22));
    m_down->setToolTip(Text(Page::IdDown));
    auto* functionTest = Button(this, Page::IdFunctionTest);
    auto* readBack = Button(this, Page::IdReadBack);

    auto* left = new QVBoxLayout;
    left->addWidget(label);
    left->addWidget(m_entry);
    left->addWidget(m_codes, 1);
    left->addWidget(m_accept);

    auto* arrows = new QVBoxLayout;
    arrows->addStretch();
    arrows->addWidget(m_up);
    arrows->addWidget(m_down);
    arrows->addStretch();

    auto* middle = new QVBoxLayout;
    middle->addWidget(m_items, 1);
    auto* editRow = new QHBoxLayout;
    editRow->addWidget(m_delete);
    editRow->addWidget(m_clear);
    middle->addLayout(editRow);

    auto* top = new QHBoxLayout;
    top->addLayout(left, 2);
    top->addLayout(middle, 3);
    top->addLayout(arrows);

    auto* bottom = PageWidgets::RightAlignedRow(functionTest, readBack);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);

    connect(m_entry, &QLineEdit::textEdited, this, &CKeySequencePage::OnEntryEdited);
    connect(m_codes, &QListWidget::currentRowChanged, this, &CKeySequencePage::OnCodePicked);
    connect(m_codes, &QListWidget::itemDoubleClicked, this, &CKeySequencePage::OnCodeDoubleClicked);
    connect(m_items, &QTreeWidget::itemSelectionChanged, this, &CKeySequencePage::OnItemSelectionChanged);
    connect(m_accept, &QPushButton::clicked, this, &CKeySequencePage::OnAccept);
    connect(m_delete, &QPushButton::clicked, this, &CKeySequencePage::OnDelete);
    connect(m_clear, &QPushButton::clicked, this, &CKeySequencePage::OnClear);
    connect(m_up, &QPushButton::clicked, this, &CKeySequencePage::OnUp);
    connect(m_down, &QPushButton::clicked, this, &CKeySequencePage::OnDown);
    connect(functionTest, &QPushButton::clicked, this, &CKeySequencePage::functionTestRequested);
    connect(readBack, &QPushButton::clicked, this, &CKeySequencePage::readBackRequested);

    ShowControls();
}

void CKeySequencePage::ShowControls() {
    m_showing = true;
    const QSignalBlocker blockItems(m_items);
    const QSignalBlocker blockCodes(m_codes);
    m_items->setHeaderLabels({QString::fromStdString(m_model.Header())});
    m_items->clear();
    for (const std::string& row : m_model.Rows())
        m_items->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromStdString(row)}));
    for (int row : m_model.SelectedRows()) {
        if (QTreeWidgetItem* item = m_items->topLevelItem(row)) {
            item->setSelected(true);
            m_items->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        }
    }
    if (!m_model.SelectedRows().empty())
        m_items->scrollToItem(m_items->topLevelItem(m_model.SelectedRows().front()));

    const CEingabeBasisRegisterkarte::Entry& entry = m_model.GetEntry();
    const QString text = QString::fromStdString(entry.text);
    if (m_entry->text() != text) m_entry->setText(text);
    if (entry.listSelection >= 0) {
        m_codes->setCurrentRow(entry.listSelection);
        m_codes->scrollToItem(m_codes->item(entry.listSelection));
    } else {
        m_codes->setCurrentRow(-1);
        m_codes->clearSelection();
    }
    if (entry.textSelected) m_entry->selectAll();
    m_showing = false;
}

void CKeySequencePage::FocusEntry() {
    m_entry->setFocus(Qt::OtherFocusReason);
}

void CKeySequencePage::Report(const std::optional<SetupMessage>& message) {
    ShowControls();
    if (message) m_host.ShowMessage(*message);
    if (m_model.FocusToEntry() || message) FocusEntry();
    if (m_model.GetEntry().textSelected) m_entry->selectAll();
}

void CKeySequencePage::OnEntryEdited(const QString& text) {
    m_model.TypeEntry(text.toStdString());
    const QSignalBlocker block(m_codes);
    m_codes->setCurrentRow(-1);
    m_codes->clearSelection();
}

void CKeySequencePage::OnCodePicked(int row) {
    if (m_showing || row < 0) return;
    m_model.PickEntry(row);
    m_entry->setText(QString::fromStdString(m_model.GetEntry().text));
}

void CKeySequencePage::OnCodeDoubleClicked() {
    OnCodePicked(m_codes->currentRow());
    OnAccept();
}

void CKeySequencePage::OnItemSelectionChanged() {
    if (m_showing) return;
    std::vector<int> rows;
    for (QTreeWidgetItem* item : m_items->selectedItems())
        rows.push_back(m_items->indexOfTopLevelItem(item));
    m_model.SelectRows(rows);
}

void CKeySequencePage::OnAccept() {
    Report(m_model.Accept());
}

void CKeySequencePage::OnDelete() {
    Report(m_model.DeleteSelected());
}

// Clearing and moving leave the focus on their button, so that a moved item
// can be moved on from the keyboard.
void CKeySequencePage::OnClear() {
    m_model.ClearAll();
    ShowControls();
}

void CKeySequencePage::OnUp() {
    m_model.MoveUp();
    ShowControls();
}

void CKeySequencePage::OnDown() {
    m_model.MoveDown();
    ShowControls();
}
