#include "InventoryListWindow.h"

#include "Messages.h"
#include "ProgrammerTexts.h"
#include "Texts.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace Programmer {

namespace {

constexpr appkit::Program kProgram = appkit::Program::Programmer;

// Texts of the window (the programmer's string table).
enum Text : int {
    Title = 9100, // also the menu entry
    StartText = 9101,
    StopText = 9102,
    PauseText = 9103,
    ClearText = 9104,
    ExportText = 9105,
    FilterText = 9106,
    ColumnEpc = 9107, // 9107..9112: the columns in InventoryList::Column order
    StatusText = 9113,
    NoSessionText = 9114,
    ExportFailedText = 9115,
    CsvFilesText = 9116,
    ExportedText = 9117,
    PausedText = 9118,
    InventoryErrorText = 9119,
};

QString T(int id) {
    return appkit::Texts::String(kProgram, id);
}

QString LostText() {
    return QString::fromStdString(ProgrammerTexts::Get(TextId::ConnectionLost));
}

} // namespace

// --- Model ------------------------------------------------------------------

InventoryListModel::InventoryListModel(InventoryList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {}

int InventoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(list_.Rows().size());
}

int InventoryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : InventoryList::ColumnCount;
}

QString InventoryListModel::TimeText(InventoryList::TimePoint time) {
    QString text = QString::fromStdString(InventoryList::IsoTime(time)).left(23);
    if (text.size() > 10) text[10] = QLatin1Char(' ');
    return text;
}

QVariant InventoryListModel::data(const QModelIndex& index, int role) const {
    const auto& rows = list_.Rows();
    if (!index.isValid() || index.row() >= int(rows.size())) return {};
    const InventoryList::Row& row = *rows[size_t(index.row())];
    const auto column = InventoryList::Column(index.column());
    if (role == Qt::TextAlignmentRole)
        return column == InventoryList::Column::Count ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                                      : QVariant();
    if (role != Qt::DisplayRole) return {};
    switch (column) {
    case InventoryList::Column::Epc:
        return QString::fromStdString(row.epc);
    case InventoryList::Column::Pc:
        return QString::fromStdString(InventoryList::PcText(row.pc));
    case InventoryList::Column::Identity:
        return QString::fromStdString(row.identity);
    case InventoryList::Column::Count:
        return QString::number(qulonglong(row.count));
    case InventoryList::Column::FirstSeen:
        return TimeText(row.firstSeen);
    case InventoryList::Column::LastSeen:
        return TimeText(row.lastSeen);
    }
    return {};
}

QVariant InventoryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= InventoryList::ColumnCount) return {};
    return T(ColumnEpc + section);
}

void InventoryListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= InventoryList::ColumnCount) return;
    list_.SetSort(InventoryList::Column(column), order == Qt::AscendingOrder);
    Refresh();
}

void InventoryListModel::Refresh() {
    if (shown_ == list_.Version()) return;
    beginResetModel();
    shown_ = list_.Version();
    endResetModel();
}

// --- Window -----------------------------------------------------------------

InventoryListWindow::InventoryListWindow(SessionSource session, QWidget* parent, TagLink& link)
    : QDialog(parent), link_(link), sessionSource_(std::move(session)) {
    setObjectName(QStringLiteral("inventoryList"));
    setWindowTitle(T(Title));
    setSizeGripEnabled(true);

    auto button = [this](const char* name, int text) {
        auto* made = new QPushButton(T(text), this);
        made->setObjectName(QLatin1String(name));
        made->setAutoDefault(false);
        return made;
    };
    start_ = button("startButton", StartText);
    pause_ = button("pauseButton", PauseText);
    pause_->setCheckable(true);
    clear_ = button("clearButton", ClearText);
    export_ = button("exportButton", ExportText);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("filterEdit"));
    filter_->setClearButtonEnabled(true);
    auto* filterLabel = new QLabel(T(FilterText), this);
    filterLabel->setBuddy(filter_);

    model_ = new InventoryListModel(list_, this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("table"));
    table_->setModel(model_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(int(InventoryList::Column::FirstSeen), Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setSectionResizeMode(int(InventoryList::Column::Identity),
                                                     QHeaderView::Stretch);
    // Room for a 96-bit EPC, the PC, a count and a time stamp; the identity takes the rest.
    const auto width = [this](const char* sample) {
        return table_->fontMetrics().horizontalAdvance(QLatin1String(sample)) + 24;
    };
    table_->setColumnWidth(int(InventoryList::Column::Epc), width("3074257BF7194E4000001A85"));
    table_->setColumnWidth(int(InventoryList::Column::Pc), width("3000"));
    table_->setColumnWidth(int(InventoryList::Column::Count), width("00000000"));
    table_->setColumnWidth(int(InventoryList::Column::FirstSeen), width("2026-12-09 01:02:03.456"));
    table_->setColumnWidth(int(InventoryList::Column::LastSeen), width("2026-12-09 01:02:03.456"));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("statusLine"));

    auto* controls = new QHBoxLayout;
    controls->addWidget(start_);
    controls->addWidget(pause_);
    controls->addWidget(clear_);
    controls->addWidget(export_);
    controls->addSpacing(12);
    controls->addWidget(filterLabel);
    controls->addWidget(filter_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(table_, 1);
    layout->addWidget(status_);
    resize(1060, 420);

    roundTimer_ = new QTimer(this);
    roundTimer_->setSingleShot(true);
    roundTimer_->setInterval(0);
    connect(roundTimer_, &QTimer::timeout, this, &InventoryListWindow::Step);
    refreshTimer_ = new QTimer(this);
    refreshTimer_->setInterval(RefreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, [this] {
        model_->Refresh();
        UpdateStatus();
    });
    refreshTimer_->start();

    connect(start_, &QPushButton::clicked, this, [this] { running_ ? Stop() : Start(); });
    connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
        list_.SetPaused(paused);
        UpdateStatus();
    });
    connect(clear_, &QPushButton::clicked, this, [this] {
        list_.Clear();
        model_->Refresh();
        UpdateStatus();
    });
    connect(export_, &QPushButton::clicked, this, &InventoryListWindow::ExportCsv);
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        list_.SetFilter(text.toStdString());
        model_->Refresh();
        UpdateStatus();
    });
    UpdateStatus();
}

InventoryListWindow::~InventoryListWindow() {
    Stop();
}

void InventoryListWindow::done(int result) {
    Stop();
    QDialog::done(result);
}

void InventoryListWindow::Start() {
    if (running_) return;
    session_ = sessionSource_ ? sessionSource_() : 0;
    if (session_ == 0 || link_.IsConnected(session_) == 0) {
        SetStatusNote(session_ == 0 ? T(NoSessionText) : LostText());
        return;
    }
    SetStatusNote({});
    link_.SetKeepWindowEnabled(session_, 1);
    running_ = true;
    list_.Start();
    start_->setText(T(StopText));
    roundTimer_->start();
    UpdateStatus();
}

void InventoryListWindow::Stop() {
    if (!running_) return;
    roundTimer_->stop();
    running_ = false;
    link_.SetKeepWindowEnabled(session_, 0);
    start_->setText(T(StartText));
    model_->Refresh();
    UpdateStatus();
    emit stopped();
}

void InventoryListWindow::Step() {
    if (!running_) return;
    // The main dialog may have closed a session whose device went away.
    if (!sessionSource_ || sessionSource_() != session_) {
        Stop();
        SetStatusNote(LostText());
        return;
    }
    const InventoryRound result = RunInventoryRound(link_, session_);
    AddRound(list_, result);
    emit round();
    if (result.lost) {
        Stop();
        SetStatusNote(LostText());
        return;
    }
    // A failed round says why and the rounds go on, as in the main dialog.
    SetStatusNote(result.ok ? QString() : T(InventoryErrorText).arg(result.error));
    if (running_) roundTimer_->start();
}

void InventoryListWindow::UpdateStatus() {
    QString text = T(StatusText)
                       .arg(list_.TotalRows())
                       .arg(list_.InventoriesPerSecond(), 0, 'f', 1)
                       .arg(list_.TagsPerSecond(), 0, 'f', 1);
    if (list_.Paused()) text += QStringLiteral(" - ") + T(PausedText);
    if (!note_.isEmpty()) text += QStringLiteral(" - ") + note_;
    status_->setText(text);
}

void InventoryListWindow::SetStatusNote(const QString& note) {
    if (note == note_) return;
    note_ = note;
    UpdateStatus();
}

void InventoryListWindow::ExportCsv() {
    const QString path =
        chooser_ ? chooser_(this)
                 : QFileDialog::getSaveFileName(this, T(ExportText), T(Title) + QStringLiteral(".csv"),
                                                T(CsvFilesText));
    if (path.isEmpty()) return;
    std::string error;
    if (!list_.WriteCsv(QFile::encodeName(path).toStdString(), error)) {
        appkit::Messages::Show(T(ExportFailedText).arg(QString::fromStdString(error)), QMessageBox::Ok,
                               appkit::Messages::Icon::Critical);
        return;
    }
    SetStatusNote(T(ExportedText).arg(list_.Rows().size()).arg(path));
}

} // namespace Programmer
