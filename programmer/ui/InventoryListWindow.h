// InventoryListWindow: the window "Inventarliste" of the programmer, opened
// from its menu over the main dialog (window-modal, so the dialog's own
// operations wait while it is open).
//
// "Start" runs a cyclic inventory on the dialog's session (one round per
// event-loop pass, so the window never freezes; each round is bounded by the
// session's reply timeout), "Stopp" ends it. The table is a view of an
// InventoryList; it is redrawn at most every 200 ms, whatever the rate of
// results. Sortable columns, a filter field, "Pause", "Leeren" and
// "CSV exportieren ..." (a failure is shown in a message). The status line
// shows the number of transponders and the rates.
//
// Object names for tests: "startButton", "pauseButton", "clearButton",
// "exportButton", "filterEdit", "table", "statusLine".
#pragma once

#include "InventoryList.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace Programmer {

// The rows of an InventoryList for a QTableView; sorting goes to the list.
class InventoryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit InventoryListModel(InventoryList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Redraws when the list changed since the last redraw.
    void Refresh();
    // "2026-12-09 01:02:03.456" (local time).
    static QString TimeText(InventoryList::TimePoint time);

private:
    InventoryList& list_;
    uint64_t shown_ = ~uint64_t(0);
};

class InventoryListWindow : public QDialog {
    Q_OBJECT
public:
    // The session of the main dialog, asked before every round (0: none).
    using SessionSource = std::function<int()>;
    // The file to export to ("" = cancelled); default: a file dialog.
    using FileChooser = std::function<QString(QWidget* parent)>;

    static constexpr int RefreshMs = 200;

    InventoryListWindow(SessionSource session, QWidget* parent = nullptr, TagLink& link = TagLink::Api());
    ~InventoryListWindow() override;

    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    InventoryList& List() { return list_; }
    InventoryListModel& Model() { return *model_; }
    bool Running() const { return running_; }
    void Start();
    void Stop();
    void ExportCsv();

signals:
    void round(); // after each round of the cyclic inventory
    void stopped();

protected:
    void done(int result) override;

private:
    void Step();
    void UpdateStatus();
    void SetStatusNote(const QString& note);

    InventoryList list_;
    TagLink& link_;
    SessionSource sessionSource_;
    FileChooser chooser_;
    int session_ = 0;
    bool running_ = false;
    InventoryListModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QPushButton *start_ = nullptr, *pause_ = nullptr, *clear_ = nullptr, *export_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QLabel* status_ = nullptr;
    QString note_;
    QTimer* roundTimer_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
};

} // namespace Programmer
