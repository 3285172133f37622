#include "EncodeBatchDialog.h"

#include "DialogHost.h"
#include "HexText.h"
#include "Texts.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace Programmer {

namespace {

constexpr appkit::Program kProgram = appkit::Program::Programmer;

namespace Text {
constexpr int Title = 9201, Place = 9202, SeveralTags = 9203, Writing = 9204, Ok = 9205, Failed = 9206,
              AlreadyDone = 9208, Complete = 9209, Stopped = 9210, Start = 9211, Stop = 9212, Scheme = 9213,
              Filter = 9214, Company = 9215, Item = 9216, SerialFrom = 9217, Count = 9218,
              AccessPassword = 9219, LogFile = 9220, FirstColumn = 9221, NoSession = 9227, Progress = 9228,
              Unreadable = 9229, Invalid = 9230;
constexpr int Columns = 6;
} // namespace Text

QString T(int id) {
    return appkit::Texts::String(kProgram, id);
}

QLineEdit* Field(QWidget* parent, const char* name, const QString& value = {}) {
    auto* edit = new QLineEdit(value, parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

bool DigitsOnly(const QString& text) {
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (!c.isDigit() || c.unicode() > '9') return false;
    return true;
}

} // namespace

EncodeBatchDialog::EncodeBatchDialog(int session, QWidget* parent, TagLink& link)
    : QDialog(parent), link_(link), session_(session), host_(std::make_unique<DialogHost>(this)) {
    setObjectName(QStringLiteral("encodeBatchDialog"));
    setWindowTitle(T(Text::Title));

    auto* form = new QFormLayout;
    scheme_ = new QComboBox(this);
    scheme_->setObjectName(QStringLiteral("scheme"));
    scheme_->addItem(QStringLiteral("sgtin-96"));
    filter_ = new QSpinBox(this);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->setRange(0, 7);
    company_ = Field(this, "company");
    item_ = Field(this, "item");
    serialFrom_ = Field(this, "serialFrom", QStringLiteral("1"));
    count_ = Field(this, "count");
    accessPassword_ = Field(this, "accessPassword");
    logPath_ = Field(this, "logPath");
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(QStringLiteral("browse"));
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, T(Text::LogFile), logPath_->text(),
                                                          QStringLiteral("CSV (*.csv)"), nullptr,
                                                          QFileDialog::DontConfirmOverwrite);
        if (!path.isEmpty()) logPath_->setText(path);
    });
    auto* logRow = new QHBoxLayout;
    logRow->addWidget(logPath_, 1);
    logRow->addWidget(browse);
    form->addRow(T(Text::Scheme), scheme_);
    form->addRow(T(Text::Filter), filter_);
    form->addRow(T(Text::Company), company_);
    form->addRow(T(Text::Item), item_);
    form->addRow(T(Text::SerialFrom), serialFrom_);
    form->addRow(T(Text::Count), count_);
    form->addRow(T(Text::AccessPassword), accessPassword_);
    form->addRow(T(Text::LogFile), logRow);

    start_ = new QPushButton(T(Text::Start), this);
    start_->setObjectName(QStringLiteral("start"));
    stop_ = new QPushButton(T(Text::Stop), this);
    stop_->setObjectName(QStringLiteral("stop"));
    for (QPushButton* button : {start_, stop_})
        button->setAutoDefault(false);
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addStretch(1);

    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("state"));
    QFont bold = state_->font();
    bold.setBold(true);
    state_->setFont(bold);
    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("progress"));

    table_ = new QTableWidget(0, Text::Columns, this);
    table_->setObjectName(QStringLiteral("log"));
    QStringList headers;
    for (int i = 0; i < Text::Columns; ++i)
        headers << T(Text::FirstColumn + i);
    table_->setHorizontalHeaderLabels(headers);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(state_);
    layout->addWidget(progress_);
    layout->addWidget(table_, 1);

    timer_ = new QTimer(this);
    timer_->setInterval(EncodeBatch::PollMs);
    connect(timer_, &QTimer::timeout, this, &EncodeBatchDialog::RunStep);

    SetState(session_ ? QString() : T(Text::NoSession));
    UpdateControls();
    resize(760, 520);
}

EncodeBatchDialog::~EncodeBatchDialog() {
    timer_->stop();
    if (batch_) batch_->Stop();
}

QString EncodeBatchDialog::StateText() const {
    return state_->text();
}

void EncodeBatchDialog::SetState(const QString& text) {
    state_->setText(text);
}

void EncodeBatchDialog::UpdateControls() {
    for (QWidget* field : std::initializer_list<QWidget*>{scheme_, filter_, company_, item_, serialFrom_,
                                                          count_, accessPassword_, logPath_})
        field->setEnabled(!running_);
    start_->setEnabled(!running_ && session_ != 0);
    stop_->setEnabled(running_);
    if (batch_)
        progress_->setText(
            T(Text::Progress)
                .arg(batch_->Settings().count > 0
                         ? QStringLiteral("%1/%2").arg(batch_->OkInBatch()).arg(batch_->Settings().count)
                         : QString::number(batch_->OkInBatch()))
                .arg(batch_->NextSerial()));
}

bool EncodeBatchDialog::Settings(BatchSettings& settings, QString& error) const {
    settings.scheme = scheme_->currentText().toStdString();
    settings.filter = filter_->value();
    settings.company = company_->text().trimmed().toStdString();
    settings.item = item_->text().trimmed().toStdString();
    const QString serial = serialFrom_->text().trimmed();
    bool ok = DigitsOnly(serial) && serial.size() <= 19;
    settings.serialFrom = serial.toULongLong(&ok);
    if (!ok || !DigitsOnly(serial)) {
        error = T(Text::SerialFrom);
        return false;
    }
    const QString count = count_->text().trimmed();
    settings.count = -1;
    if (!count.isEmpty()) {
        settings.count = count.toLongLong(&ok);
        if (!ok || !DigitsOnly(count) || settings.count < 1) {
            error = T(Text::Count);
            return false;
        }
    }
    settings.accessPassword.clear();
    const QString password = accessPassword_->text().trimmed();
    if (!password.isEmpty()) {
        const HexText::Reading reading = HexText::Read(password.toStdString(), 4);
        if (!reading.valid || reading.bytes.size() != 4) {
            error = T(Text::AccessPassword);
            return false;
        }
        settings.accessPassword = reading.bytes;
    }
    settings.logPath = logPath_->text().trimmed().toStdString();
    return true;
}

bool EncodeBatchDialog::Start() {
    if (running_ || session_ == 0) return false;
    BatchSettings settings;
    QString invalid;
    if (!Settings(settings, invalid)) {
        SetState(T(Text::Invalid).arg(invalid));
        return false;
    }
    batch_ = std::make_unique<EncodeBatch>(link_, *host_, session_);
    batch_->SetWritingNotice([this] {
        SetState(T(Text::Writing));
        state_->repaint();
    });
    std::string error;
    if (!batch_->Start(settings, error)) {
        SetState(T(Text::Failed).arg(QString::fromStdString(error)));
        batch_.reset();
        UpdateControls();
        return false;
    }
    table_->setRowCount(0);
    for (const BatchRow& row : batch_->Log().Rows())
        AddRow(row);
    if (batch_->GetState() == EncodeBatch::State::Finished) {
        SetState(T(Text::Complete));
        UpdateControls();
        return true;
    }
    running_ = true;
    SetState(T(Text::Place));
    UpdateControls();
    timer_->start();
    return true;
}

void EncodeBatchDialog::Stop() {
    if (!running_) return;
    timer_->stop();
    running_ = false;
    if (!inStep_ && batch_) batch_->Stop();
    SetState(T(Text::Stopped));
    UpdateControls();
}

void EncodeBatchDialog::reject() {
    Stop();
    QDialog::reject();
}

void EncodeBatchDialog::AddRow(const BatchRow& row) {
    const int at = table_->rowCount();
    table_->insertRow(at);
    const QString cells[Text::Columns] = {
        QString::fromStdString(row.time),   row.serial ? QString::number(*row.serial) : QString(),
        QString::fromStdString(row.tid),    QString::fromStdString(row.oldEpc),
        QString::fromStdString(row.newEpc), QString::fromStdString(row.result)};
    for (int column = 0; column < Text::Columns; ++column)
        table_->setItem(at, column, new QTableWidgetItem(cells[column]));
    table_->scrollToBottom();
}

// One step per timer tick. The link's waits pump events, so a tick can come
// while a step runs: it is skipped.
void EncodeBatchDialog::RunStep() {
    if (inStep_ || !running_ || !batch_) return;
    inStep_ = true;
    const BatchStep step = batch_->Step();
    inStep_ = false;
    switch (step.event) {
    case BatchEvent::NoTag:
    case BatchEvent::TagLeft:
        SetState(T(Text::Place));
        break;
    case BatchEvent::SeveralTags:
        SetState(T(Text::SeveralTags).arg(step.tags));
        break;
    case BatchEvent::AlreadyDone:
        SetState(T(Text::AlreadyDone).arg(QString::fromStdString(step.row.tid)));
        break;
    case BatchEvent::Unreadable:
        SetState(T(Text::Unreadable).arg(QString::fromStdString(step.message)));
        break;
    case BatchEvent::Encoded:
        AddRow(step.row);
        SetState(T(Text::Ok));
        break;
    case BatchEvent::Failed:
        AddRow(step.row);
        SetState(T(Text::Failed).arg(QString::fromStdString(step.row.result)));
        break;
    case BatchEvent::Halted:
        SetState(T(Text::Failed).arg(QString::fromStdString(step.message)));
        break;
    default:
        break;
    }
    const EncodeBatch::State state = batch_->GetState();
    if (state == EncodeBatch::State::Finished || state == EncodeBatch::State::Halted) {
        timer_->stop();
        running_ = false;
        batch_->Stop();
        if (state == EncodeBatch::State::Finished) SetState(T(Text::Complete));
    } else if (!running_) {
        batch_->Stop(); // Stop came while the step ran
    }
    UpdateControls();
    emit stepped();
}

} // namespace Programmer
