#include "SeriellEinstellDlg.h"

#include "BusyGuard.h"
#include "DataPage.h"
#include "FunktionstestDlg.h"
#include "FunktionstestHidDlg.h"
#include "KeySequencePage.h"
#include "PageWidgets.h"
#include "ParamHidPage.h"
#include "ParamPage.h"
#include "PreviewWindow.h"
#include "ProgramReader.h"
#include "ReadBackDlg.h"
#include "Texts.h"
#include "WaitCursor.h"
#include "WidgetSetupHost.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Tab order of the pages.
constexpr SetupPage kPages[6] = {SetupPage::Param,  SetupPage::Prefix,   SetupPage::Daten,
                                 SetupPage::Suffix, SetupPage::Abziehen, SetupPage::Trenner};
constexpr SetupPage kKeyPages[4] = {SetupPage::Prefix, SetupPage::Suffix, SetupPage::Abziehen,
                                    SetupPage::Trenner};

int KeyIndex(SetupPage page) {
    for (int i = 0; i < 4; ++i)
        if (kKeyPages[i] == page) return i;
    return -1;
}

int TabIndex(SetupPage page) {
    for (int i = 0; i < 6; ++i)
        if (kPages[i] == page) return i;
    return 0;
}

// The commands of the four buttons and their caption strings.
constexpr int kLoad = 32773, kProgram = 32774, kSave = 32776, kCancel = 2;
// "Vorschau": its caption string, and its name.
constexpr int kPreview = 9400;

} // namespace

CSeriellEinstellDlg::CSeriellEinstellDlg(QWidget* parent, CWidgetSetupHost& host, int session, int baud,
                                         int flags)
    : QDialog(parent), m_host(host), m_model(session, baud, flags) {
    setObjectName(QStringLiteral("CSeriellEinstellDlg"));
    // One font for every page.
    setFont(QApplication::font());

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    if (m_model.IsHid()) {
        m_hidPage = new CParamHidPage(m_model.ParamHid(), m_host, m_tabs);
        m_hidPage->setObjectName(QStringLiteral("page160"));
    } else {
        m_paramPage = new CParamPage(m_model.Param(), m_tabs);
        m_paramPage->setObjectName(QStringLiteral("page112"));
    }
    m_dataPage = new CDataPage(m_model.Daten(), m_tabs);
    m_dataPage->setObjectName(QStringLiteral("page103"));
    for (int i = 0; i < 4; ++i) {
        m_keyPages[size_t(i)] = new CKeySequencePage(*m_model.KeyPage(kKeyPages[i]), m_host, m_tabs);
        m_keyPages[size_t(i)]->setObjectName(
            QStringLiteral("page106%1")
                .arg(QString::fromLatin1(CSeriellEinstellModel::Section(kKeyPages[i]))));
    }
    for (SetupPage page : kPages) {
        QString caption;
        if (page == SetupPage::Param)
            caption = appkit::Texts::Dialog(m_hidPage ? 160 : 112, 0);
        else if (page == SetupPage::Daten)
            caption = appkit::Texts::Dialog(103, 0);
        else
            caption = QString::fromStdString(KeyPage(page)->Model().Caption());
        m_tabs->addTab(PageWidget(page), caption);
    }

    // The four buttons on one row, evenly spaced across the sheet; before
    // them "Vorschau".
    auto* row = new QHBoxLayout;
    auto* preview = new QPushButton(appkit::Texts::String(kPreview), this);
    preview->setObjectName(QStringLiteral("button%1").arg(kPreview));
    preview->setAutoDefault(false);
    row->addWidget(preview);
    row->addStretch(1);
    connect(preview, &QPushButton::clicked, this, &CSeriellEinstellDlg::OpenPreview);
    const int order[4] = {kSave, kLoad, kProgram, kCancel};
    const int captions[4] = {506, 504, 505, 507};
    for (int i = 0; i < 4; ++i) {
        auto* button = new QPushButton(appkit::Texts::String(captions[i]), this);
        button->setObjectName(QStringLiteral("button%1").arg(order[i]));
        button->setAutoDefault(false);
        button->setMinimumWidth(110);
        if (i > 0) row->addStretch(1);
        row->addWidget(button);
        switch (order[i]) {
        case kSave:
            connect(button, &QPushButton::clicked, this, &CSeriellEinstellDlg::OnSave);
            break;
        case kLoad:
            connect(button, &QPushButton::clicked, this, &CSeriellEinstellDlg::OnLoad);
            break;
        case kProgram:
            connect(button, &QPushButton::clicked, this, &CSeriellEinstellDlg::OnProgram);
            break;
        default:
            connect(button, &QPushButton::clicked, this, &QDialog::reject);
            break;
        }
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addSpacing(4);
    layout->addLayout(row);

    connect(m_tabs, &QTabWidget::currentChanged, this, &CSeriellEinstellDlg::OnTabChanged);
    if (m_paramPage) {
        connect(m_paramPage, &CParamPage::functionTestRequested, this, [this] { OpenFunctionTest(false); });
        connect(m_paramPage, &CParamPage::readBackRequested, this, &CSeriellEinstellDlg::OpenReadBack);
    } else {
        connect(m_hidPage, &CParamHidPage::functionTestRequested, this, [this] { OpenFunctionTest(true); });
        connect(m_hidPage, &CParamHidPage::readBackRequested, this, &CSeriellEinstellDlg::OpenReadBack);
    }
    connect(m_dataPage, &CDataPage::functionTestRequested, this,
            [this] { OpenFunctionTest(m_model.Daten().GetFeatures().hid); });
    connect(m_dataPage, &CDataPage::readBackRequested, this, &CSeriellEinstellDlg::OpenReadBack);
    for (CKeySequencePage* page : m_keyPages) {
        connect(page, &CKeySequencePage::functionTestRequested, this,
                [this, page] { OpenFunctionTest(page->Model().IsHid()); });
        connect(page, &CKeySequencePage::readBackRequested, this, &CSeriellEinstellDlg::OpenReadBack);
    }

    m_previousBaudHook = m_host.onCurrentBaudRate;
    m_previousFocusHook = m_host.onFocusControl;
    m_host.onCurrentBaudRate = [this](int) { ShowParamControls(); };
    m_host.onFocusControl = [this](SetupPage page, int control) { FocusControl(page, control); };
    m_previousDialogParent = m_host.DialogParent();
    m_host.SetDialogParent(this);

    UpdateCaption();
}

CSeriellEinstellDlg::~CSeriellEinstellDlg() {
    m_host.onCurrentBaudRate = m_previousBaudHook;
    m_host.onFocusControl = m_previousFocusHook;
    m_host.SetDialogParent(m_previousDialogParent);
}

CKeySequencePage* CSeriellEinstellDlg::KeyPage(SetupPage page) const {
    const int index = KeyIndex(page);
    return index < 0 ? nullptr : m_keyPages[size_t(index)];
}

QWidget* CSeriellEinstellDlg::PageWidget(SetupPage page) const {
    switch (page) {
    case SetupPage::Param:
        return m_paramPage ? static_cast<QWidget*>(m_paramPage) : m_hidPage;
    case SetupPage::Daten:
        return m_dataPage;
    default:
        return KeyPage(page);
    }
}

void CSeriellEinstellDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_openScheduled) {
        m_openScheduled = true;
        // The dialog is on the screen first; then the reader is read.
        QTimer::singleShot(0, this, &CSeriellEinstellDlg::Open);
    }
}

void CSeriellEinstellDlg::keyPressEvent(QKeyEvent* event) {
    // Enter closes nothing here; Escape cancels as the dialog does.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CSeriellEinstellDlg::Open() {
    // The first page shows itself: the stored port decides "Setzen:" (the
    // HID page shows its keyboard table).
    if (m_paramPage) m_model.Param().Show(m_host);
    ShowParamControls();
    ActivatePage(m_tabs->currentIndex());
    {
        CBusyGuard busy(this);
        appkit::WaitCursor wait;
        m_readResult = m_model.ReadFromReader(m_host);
    }
    ShowAllControls();
    m_opened = true;
    emit pagesChanged();
    emit opened();
}

void CSeriellEinstellDlg::ReadAllControls() {
    if (m_paramPage) m_paramPage->ReadControls();
    if (m_hidPage) m_hidPage->ReadControls();
    m_dataPage->ReadControls();
}

void CSeriellEinstellDlg::ShowParamControls() {
    if (m_paramPage) m_paramPage->ShowControls();
    if (m_hidPage) m_hidPage->ShowControls();
}

void CSeriellEinstellDlg::ShowAllControls() {
    ShowParamControls();
    m_dataPage->ShowControls();
    for (CKeySequencePage* page : m_keyPages)
        page->ShowControls();
}

void CSeriellEinstellDlg::UpdateCaption() {
    setWindowTitle(QString::fromStdString(m_model.Caption()));
}

std::optional<SetupMessage> CSeriellEinstellDlg::LeavePage(int index) {
    if (kPages[index] == SetupPage::Daten) {
        m_dataPage->ReadControls();
        return m_model.Daten().Validate();
    }
    if (kPages[index] == SetupPage::Param) {
        if (m_hidPage) {
            m_hidPage->ReadControls();
            return m_model.ParamHid().Validate();
        }
        m_paramPage->ReadControls();
        return m_model.Param().Validate();
    }
    return std::nullopt;
}

void CSeriellEinstellDlg::OnTabChanged(int index) {
    if (index == m_current) return;
    if (const std::optional<SetupMessage> message = LeavePage(m_current)) {
        // The page that failed stays active, with the focus on its control.
        const SetupPage page = kPages[m_current];
        SetPage(m_current);
        m_host.ShowMessage(*message);
        if (message->control) FocusControl(page, message->control);
        return;
    }
    ActivatePage(index);
}

void CSeriellEinstellDlg::SetPage(int index) {
    const QSignalBlocker block(m_tabs);
    m_tabs->setCurrentIndex(index);
    m_current = index;
}

void CSeriellEinstellDlg::ActivatePage(int index) {
    m_current = index;
    const SetupPage page = kPages[index];
    if (page == SetupPage::Daten) {
        // Created on first showing; refreshed from the members each time after.
        if (!m_dataShown) {
            m_dataShown = true;
            m_model.Daten().Show();
        } else {
            m_model.Daten().Refresh();
        }
        m_dataPage->ShowControls();
    }
    if (CKeySequencePage* keys = KeyPage(page)) keys->FocusEntry();
}

void CSeriellEinstellDlg::FocusControl(SetupPage page, int control) {
    const int index = TabIndex(page);
    if (index != m_current) {
        SetPage(index);
        ActivatePage(index);
    }
    QWidget* widget = PageWidgets::FindControl(PageWidget(page), control);
    if (!widget) return;
    widget->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->selectAll();
}

void CSeriellEinstellDlg::OnSave() {
    ReadAllControls();
    m_model.Save(m_host);
    ShowAllControls();
    UpdateCaption();
    emit pagesChanged();
}

void CSeriellEinstellDlg::OnLoad() {
    ReadAllControls();
    m_model.Load(m_host);
    ShowAllControls();
    UpdateCaption();
    if (CKeySequencePage* keys = KeyPage(kPages[m_current])) keys->FocusEntry();
    emit pagesChanged();
}

void CSeriellEinstellDlg::OnProgram() {
    ReadAllControls();
    {
        CBusyGuard busy(this);
        appkit::WaitCursor wait;
        ProgramReader(m_model, m_host);
    }
    ShowAllControls();
    emit pagesChanged();
}

CPreviewWindow* CSeriellEinstellDlg::OpenPreview() {
    if (!m_preview) {
        m_preview = new CPreviewWindow(*this);
        // Beside the dialog.
        m_preview->move(frameGeometry().topRight() + QPoint(8, 0));
    }
    m_preview->show();
    m_preview->raise();
    m_preview->activateWindow();
    return m_preview;
}

CPreviewWindow* CSeriellEinstellDlg::Preview() const {
    return m_preview;
}

void CSeriellEinstellDlg::OpenFunctionTest(bool hid) {
    if (hid) {
        CFunktionstestHidDlg dialog(this);
        dialog.exec();
        return;
    }
    CFunktionstestDlg dialog(this, m_host, m_model.Flags());
    dialog.exec();
}

void CSeriellEinstellDlg::OpenReadBack() {
    CReadBackDlg dialog(this, m_host, 0, 19200, 0);
    dialog.exec();
}
