// "Serialisierung": the batch encoding of EncodeBatch as a dialog of the
// programmer. The fields give the batch's settings, Start begins it and a
// timer then runs one step after the other on the GUI thread (the Link API
// is called from there only; its waits keep the window painted), Stop ends
// it between two transponders. The table shows the log's rows, the state
// line what to do now.
#pragma once

#include "EncodeBatch.h"
#include "TagLink.h"

#include <QDialog>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace Programmer {

class DialogHost;

class EncodeBatchDialog : public QDialog {
    Q_OBJECT
public:
    // session: the programmer's open session (0: none, Start then only says so).
    EncodeBatchDialog(int session, QWidget* parent = nullptr, TagLink& link = TagLink::Api());
    ~EncodeBatchDialog() override;

    bool Running() const { return running_; }
    QString StateText() const;
    QTableWidget* Table() const { return table_; }
    // Starts with the fields' values; false (and the reason in the state
    // line) when they or the log are refused.
    bool Start();
    void Stop();

signals:
    void stepped(); // after each step, for tests and the screenshot

protected:
    void reject() override; // Escape and the close box stop the batch first

private:
    void RunStep();
    void AddRow(const BatchRow& row);
    void SetState(const QString& text);
    void UpdateControls();
    bool Settings(BatchSettings& settings, QString& error) const;

    TagLink& link_;
    int session_;
    std::unique_ptr<DialogHost> host_;
    std::unique_ptr<EncodeBatch> batch_;
    bool running_ = false;
    bool inStep_ = false;

    QComboBox* scheme_ = nullptr;
    QSpinBox* filter_ = nullptr;
    QLineEdit* company_ = nullptr;
    QLineEdit* item_ = nullptr;
    QLineEdit* serialFrom_ = nullptr;
    QLineEdit* count_ = nullptr;
    QLineEdit* accessPassword_ = nullptr;
    QLineEdit* logPath_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* progress_ = nullptr;
    QTableWidget* table_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace Programmer
