#include "PreviewWindow.h"

#include "BusyGuard.h"
#include "DataPage.h"
#include "FixedFont.h"
#include "HostKeyboard.h"
#include "OutputPreview.h"
#include "ParamHidPage.h"
#include "ParamPage.h"
#include "SeriellEinstellDlg.h"
#include "Texts.h"

#include <QAbstractButton>
#include <QBrush>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cctype>

namespace {

// Texts of the window.
enum Text {
    kTitle = 9400,
    kSample = 9401,
    kEpc = 9402,
    kTid = 9403,
    kUser = 9404,
    kLayout = 9405,
    kHex = 9406,
    kPrintable = 9407,
    kKeys = 9408,
    kHostText = 9409,
    kMismatch = 9410,
    kNoMismatch = 9411,
    kMismatches = 9412,
    kBadHex = 9413,
    kThisComputer = 9414,
    kColumnChar = 9415,
    kColumnUsage = 9416,
    kColumnModifiers = 9417,
    kColumnHost = 9418,
    kNoKey = 9419,
    kRefused = 9420,
    kRemoval = 9421,
    kNoKeyOnReader = 9422,
    kNothing = 9423,
    kUnknownLayout = 9424,
};

QString T(int id) {
    return appkit::Texts::String(id);
}

// Hex digits, blanks between them allowed; an even number of digits.
bool ParseHex(const QString& text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    QString digits;
    for (QChar c : text) {
        if (c.isSpace()) continue;
        if (!std::isxdigit(static_cast<unsigned char>(c.toLatin1())) || c.unicode() > 0x7F) return false;
        digits.append(c);
    }
    if (digits.size() % 2 != 0) return false;
    for (int i = 0; i < digits.size(); i += 2)
        bytes.push_back(uint8_t(digits.mid(i, 2).toUInt(nullptr, 16)));
    return true;
}

QString HexOf(const std::vector<uint8_t>& bytes) {
    QStringList parts;
    for (uint8_t byte : bytes)
        parts.append(QString::asprintf("%02X", byte));
    return parts.join(QLatin1Char(' '));
}

// A character as the rows show it: printable ones as they are, the others
// by name ("<CR>", "<ESC>"), the blank too where it stands alone.
QString Named(uint8_t character) {
    return character == ' ' ? QStringLiteral("<SP>")
                            : QString::fromStdString(OutputPreview::CharacterName(character));
}

QString ModifierText(uint8_t modifiers) {
    QStringList names;
    if (modifiers & 0x11) names.append(QStringLiteral("Ctrl"));
    if (modifiers & 0x22) names.append(QStringLiteral("Shift"));
    if (modifiers & 0x04) names.append(QStringLiteral("Alt"));
    if (modifiers & 0x40) names.append(QStringLiteral("AltGr"));
    if (modifiers & 0x88) names.append(QStringLiteral("Win"));
    QString text = QString::asprintf("%02X", modifiers);
    if (!names.isEmpty()) text += QStringLiteral(" (") + names.join(QLatin1Char('+')) + QLatin1Char(')');
    return text;
}

} // namespace

CPreviewWindow::CPreviewWindow(CSeriellEinstellDlg& dialog)
    : QWidget(&dialog, Qt::Window), m_dialog(dialog), m_hid(dialog.Model().IsHid()) {
    setObjectName(QStringLiteral("CPreviewWindow"));
    setWindowTitle(T(kTitle));
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* layout = new QVBoxLayout(this);
    BuildSample(layout);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("labelMessage"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->hide();
    layout->addWidget(m_message);

    const QFont fixed = FixedFont::Get();
    if (!m_hid) {
        m_serialBox = new QGroupBox(this);
        m_serialBox->setObjectName(QStringLiteral("frameSerial"));
        auto* box = new QVBoxLayout(m_serialBox);
        box->addWidget(new QLabel(T(kHex), m_serialBox));
        m_hex = new QPlainTextEdit(m_serialBox);
        m_hex->setObjectName(QStringLiteral("textHex"));
        box->addWidget(m_hex, 2);
        box->addWidget(new QLabel(T(kPrintable), m_serialBox));
        m_printable = new QPlainTextEdit(m_serialBox);
        m_printable->setObjectName(QStringLiteral("textPrintable"));
        box->addWidget(m_printable, 1);
        box->addWidget(new QLabel(T(kRemoval), m_serialBox));
        m_removal = new QLineEdit(m_serialBox);
        m_removal->setObjectName(QStringLiteral("editRemoval"));
        m_removal->setReadOnly(true);
        m_removal->setFont(fixed);
        box->addWidget(m_removal);
        for (QPlainTextEdit* edit : {m_hex, m_printable}) {
            edit->setReadOnly(true);
            edit->setFont(fixed);
            edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        }
        layout->addWidget(m_serialBox, 1);
    } else {
        m_hidBox = new QGroupBox(this);
        m_hidBox->setObjectName(QStringLiteral("frameHid"));
        auto* box = new QVBoxLayout(m_hidBox);
        auto* layoutRow = new QHBoxLayout;
        auto* layoutLabel = new QLabel(T(kLayout), m_hidBox);
        m_layout = new QComboBox(m_hidBox);
        m_layout->setObjectName(QStringLiteral("comboLayout"));
        m_layout->setEditable(true);
        m_layout->setInsertPolicy(QComboBox::NoInsert);
        m_layout->setMinimumContentsLength(18);
        layoutLabel->setBuddy(m_layout);
        layoutRow->addWidget(layoutLabel);
        layoutRow->addWidget(m_layout, 1);
        box->addLayout(layoutRow);

        box->addWidget(new QLabel(T(kKeys), m_hidBox));
        m_keys = new QTreeWidget(m_hidBox);
        m_keys->setObjectName(QStringLiteral("listKeys"));
        m_keys->setRootIsDecorated(false);
        m_keys->setUniformRowHeights(true);
        m_keys->setSelectionMode(QAbstractItemView::NoSelection);
        m_keys->setHeaderLabels({T(kColumnChar), T(kColumnUsage), T(kColumnModifiers), T(kColumnHost)});
        m_keys->setFont(fixed);
        m_keys->header()->setFont(font());
        m_keys->header()->setStretchLastSection(true);
        box->addWidget(m_keys, 1);

        box->addWidget(new QLabel(T(kHostText), m_hidBox));
        m_hostText = new QLineEdit(m_hidBox);
        m_hostText->setObjectName(QStringLiteral("editHostText"));
        m_hostText->setReadOnly(true);
        m_hostText->setFont(fixed);
        box->addWidget(m_hostText);
        m_summary = new QLabel(m_hidBox);
        m_summary->setObjectName(QStringLiteral("labelMismatches"));
        m_summary->setWordWrap(true);
        box->addWidget(m_summary);
        layout->addWidget(m_hidBox, 1);

        FillLayouts();
        connect(m_layout, &QComboBox::currentIndexChanged, this, &CPreviewWindow::PagesEdited);
        connect(m_layout, &QComboBox::editTextChanged, this, &CPreviewWindow::PagesEdited);
    }

    m_timer.setSingleShot(true);
    m_timer.setInterval(DebounceMs);
    connect(&m_timer, &QTimer::timeout, this, &CPreviewWindow::UpdateNow);

    // The pages: every edit of their widgets, and what the dialog's own
    // procedures (reading the reader, Laden, Speichern, Programmieren) put
    // on them.
    for (SetupPage page : {SetupPage::Param, SetupPage::Prefix, SetupPage::Daten, SetupPage::Suffix,
                           SetupPage::Abziehen, SetupPage::Trenner})
        WatchEdits(dialog.PageWidget(page), this, [this] { PagesEdited(); });
    connect(&dialog, &CSeriellEinstellDlg::pagesChanged, this, &CPreviewWindow::PagesEdited);
    connect(&dialog, &QDialog::finished, this, &QWidget::close);

    resize(520, m_hid ? 520 : 420);
    UpdateNow();
}

void CPreviewWindow::BuildSample(QLayout* layout) {
    auto* frame = new QGroupBox(T(kSample), this);
    frame->setObjectName(QStringLiteral("frameSample"));
    auto* form = new QFormLayout(frame);
    const OutputPreview::Sample sample = OutputPreview::Sample::Default();
    auto add = [&](int label, const char* name, const std::vector<uint8_t>& bytes) {
        auto* edit = new QLineEdit(HexOf(bytes), frame);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setFont(FixedFont::Get());
        form->addRow(T(label), edit);
        connect(edit, &QLineEdit::textChanged, this, &CPreviewWindow::PagesEdited);
        return edit;
    };
    m_epc = add(kEpc, "editEpc", sample.epc);
    m_tid = add(kTid, "editTid", sample.tid);
    m_user = add(kUser, "editUser", sample.user);
    layout->addWidget(frame);
}

void CPreviewWindow::FillLayouts() {
    // This computer's layout first. A keymap from the X server has no name
    // here: its entry stands for the keymap as it is, and the layout the
    // environment or the system names follows it.
    CHidKeyTable probe;
    HostKeyboard::Source source;
    const QSignalBlocker block(m_layout);
    if (HostKeyboard::FromHost(probe, nullptr, &source) && source.x11)
        m_layout->addItem(T(kThisComputer).arg(QString::fromStdString(source.describe)), QString());
    for (const std::string& name : OutputPreview::OfferedLayouts())
        m_layout->addItem(QString::fromStdString(name), QString::fromStdString(name));
    m_layout->setCurrentIndex(0);
}

QString CPreviewWindow::LayoutName() const {
    if (!m_layout) return QString();
    const int index = m_layout->currentIndex();
    // A typed name that is no entry's text is taken as it is.
    if (index >= 0 && m_layout->itemText(index) == m_layout->currentText())
        return m_layout->itemData(index).toString();
    return m_layout->currentText().trimmed();
}

void CPreviewWindow::PagesEdited() {
    m_timer.start();
}

void CPreviewWindow::ShowMessage(const QString& text) {
    m_message->setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    m_message->show();
    if (m_serialBox) {
        m_hex->clear();
        m_printable->clear();
        m_removal->clear();
        m_serialBox->setEnabled(false);
    }
    if (m_hidBox) {
        m_keys->clear();
        m_hostText->clear();
        m_summary->clear();
        m_mismatches.clear();
        m_keys->setEnabled(false);
    }
}

void CPreviewWindow::UpdateNow() {
    m_timer.stop();
    // Not while a procedure of the dialog runs (reading or programming the
    // reader): the pages are in the middle of it; the procedure's end
    // brings the next update.
    if (CBusyGuard::Active()) {
        m_timer.start();
        return;
    }

    // The sample transponder.
    OutputPreview::Sample sample;
    const struct {
        QLineEdit* edit;
        int label;
        std::vector<uint8_t>* bytes;
    } fields[] = {{m_epc, kEpc, &sample.epc}, {m_tid, kTid, &sample.tid}, {m_user, kUser, &sample.user}};
    for (const auto& field : fields) {
        if (!ParseHex(field.edit->text(), *field.bytes)) {
            QString name = T(field.label);
            if (name.endsWith(QLatin1Char(':'))) name.chop(1);
            ShowMessage(T(kBadHex).arg(name));
            emit updated();
            return;
        }
    }

    // The pages' widgets into a copy of the document, which then builds
    // what programming would write. The dialog's own document is left as
    // it was, so a look never changes what a procedure of the dialog sees.
    CSeriellEinstellModel& model = m_dialog.Model();
    const CParamRegisterkarte::Controls param = model.Param().GetControls();
    const CParamRegisterkarteHID::Controls paramHid = model.ParamHid().GetControls();
    const CDatenRegisterkarte::Controls daten = model.Daten().GetControls();
    if (m_dialog.ParamPage()) m_dialog.ParamPage()->ReadControls();
    if (m_dialog.HidParamPage()) m_dialog.HidParamPage()->ReadControls();
    m_dialog.DataPage()->ReadControls();
    CSeriellEinstellModel copy = model;
    model.Param().GetControls() = param;
    model.ParamHid().GetControls() = paramHid;
    model.Daten().GetControls() = daten;

    OutputPreview::Config config;
    if (const std::optional<SetupMessage> refused = OutputPreview::FromModel(copy, config)) {
        ShowMessage(T(kRefused) + QLatin1Char('\n') + QString::fromStdString(refused->text));
        emit updated();
        return;
    }
    OutputPreview::HostLayout host;
    if (m_hid) {
        const QString name = LayoutName();
        std::string error;
        if (!OutputPreview::LoadHostLayout(name.toStdString(), host, &error)) {
            ShowMessage(T(kUnknownLayout).arg(name, QString::fromStdString(error)));
            emit updated();
            return;
        }
    }
    const OutputPreview::Preview preview = OutputPreview::Make(config, sample, m_hid ? &host : nullptr);
    m_message->hide();
    m_message->clear();

    if (m_serialBox) {
        m_serialBox->setEnabled(true);
        m_hex->setPlainText(QString::fromStdString(preview.telegram.hex));
        m_printable->setPlainText(QString::fromStdString(preview.telegram.printable));
        const bool removal = !preview.removal.bytes.empty();
        m_removal->setText(
            removal ? QString::fromStdString(preview.removal.hex + "   " + preview.removal.printable)
                    : QString());
    }
    if (m_hidBox) {
        m_keys->setEnabled(true);
        m_keys->clear();
        m_mismatches.clear();
        AddKeys(preview.telegram);
        if (!preview.removal.keys.empty()) {
            auto* head = new QTreeWidgetItem(m_keys);
            head->setText(0, T(kRemoval));
            head->setFirstColumnSpanned(true);
            AddKeys(preview.removal);
        }
        m_hostText->setText(QString::fromStdString(preview.telegram.hostText));
        m_summary->setText(m_mismatches.isEmpty()
                               ? T(kNoMismatch)
                               : T(kMismatches).arg(m_mismatches.size()) + QLatin1Char('\n') +
                                     m_mismatches.join(QLatin1Char('\n')));
    }
    emit updated();
}

void CPreviewWindow::AddKeys(const OutputPreview::Sequence& sequence) {
    const QBrush marked(QColor(0xff, 0xd6, 0xcc));
    for (const OutputPreview::TypedKey& typed : sequence.keys) {
        auto* item = new QTreeWidgetItem(m_keys);
        const QString character = Named(typed.character);
        const QString shown = typed.hostCharacter ? Named(*typed.hostCharacter) : T(kNothing);
        item->setText(0, character);
        if (!typed.key.usage) {
            item->setText(1, T(kNoKey));
        } else {
            item->setText(1, QString::asprintf("%02X", typed.key.usage));
            item->setText(2, ModifierText(typed.key.modifier));
            item->setText(3, shown);
        }
        if (!typed.mismatch) continue;
        m_mismatches.append(typed.key.usage ? T(kMismatch).arg(character, shown)
                                            : T(kNoKeyOnReader).arg(character));
        for (int column = 0; column < m_keys->columnCount(); ++column)
            item->setBackground(column, marked);
        item->setToolTip(0, m_mismatches.last());
    }
}

QString CPreviewWindow::Message() const {
    return m_message->isHidden() ? QString() : m_message->text();
}

QString CPreviewWindow::HexText() const {
    return m_hex ? m_hex->toPlainText() : QString();
}

QString CPreviewWindow::PrintableText() const {
    return m_printable ? m_printable->toPlainText() : QString();
}

QString CPreviewWindow::HostText() const {
    return m_hostText ? m_hostText->text() : QString();
}

QStringList CPreviewWindow::Mismatches() const {
    return m_mismatches;
}

void CPreviewWindow::WatchEdits(QWidget* page, QObject* context, const std::function<void()>& edited) {
    if (!page) return;
    // What a user can change on a page: edit lines, buttons (radio, check,
    // and the push buttons that change a sequence or the keyboard table),
    // combos, and a code taken over by a double click.
    for (QLineEdit* edit : page->findChildren<QLineEdit*>())
        QObject::connect(edit, &QLineEdit::textChanged, context, edited);
    for (QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
        QObject::connect(button, &QAbstractButton::clicked, context, edited);
        if (button->isCheckable()) QObject::connect(button, &QAbstractButton::toggled, context, edited);
    }
    for (QComboBox* combo : page->findChildren<QComboBox*>())
        QObject::connect(combo, &QComboBox::currentIndexChanged, context, edited);
    for (QListWidget* list : page->findChildren<QListWidget*>())
        QObject::connect(list, &QListWidget::itemDoubleClicked, context, edited);
}
