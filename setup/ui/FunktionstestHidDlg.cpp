#include "FunktionstestHidDlg.h"

#include "PageWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using PageWidgets::Text;

namespace {
constexpr int kDialog = 161;
constexpr int kKeyboardLabel = 1201;
} // namespace

CFunktionstestHidDlg::CFunktionstestHidDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dialog161"));
    setWindowTitle(Text(kDialog, 0));
    m_keyboard = new QPlainTextEdit(this);
    m_keyboard->setObjectName(QStringLiteral("edit1030"));
    m_keyboard->setMinimumSize(420, 180);
    auto* label = new QLabel(Text(kDialog, kKeyboardLabel), this);
    label->setBuddy(m_keyboard);
    auto* clear = PageWidgets::Button(this, kDialog, 1022);
    auto* close = PageWidgets::Button(this, kDialog, 1);
    clear->setAutoDefault(false);
    close->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_keyboard, 1);
    layout->addLayout(buttons);
    connect(clear, &QPushButton::clicked, this, [this] {
        m_keyboard->clear();
        m_keyboard->setFocus();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    m_keyboard->setFocus();
}
