#include "PageWidgets.h"

#include <QHBoxLayout>

#include "Texts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace PageWidgets {

QHBoxLayout* RightAlignedRow(QPushButton* first, QPushButton* second) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(first);
    row->addWidget(second);
    return row;
}

QString Text(int dialog, int control) {
    return appkit::Texts::Dialog(dialog, control);
}

QRadioButton* Radio(QWidget* parent, int dialog, int control) {
    auto* radio = new QRadioButton(Text(dialog, control), parent);
    radio->setObjectName(QStringLiteral("radio%1").arg(control));
    return radio;
}

QCheckBox* Check(QWidget* parent, int dialog, int control) {
    auto* check = new QCheckBox(Text(dialog, control), parent);
    check->setObjectName(QStringLiteral("check%1").arg(control));
    return check;
}

QPushButton* Button(QWidget* parent, int dialog, int control) {
    auto* button = new QPushButton(Text(dialog, control), parent);
    button->setObjectName(QStringLiteral("button%1").arg(control));
    return button;
}

QLineEdit* Edit(QWidget* parent, int control, bool digitsOnly, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("edit%1").arg(control));
    if (digitsOnly)
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    if (maxLength > 0) edit->setMaxLength(maxLength);
    return edit;
}

void CheckButton(QButtonGroup* group, int id) {
    QAbstractButton* button = group->button(id);
    if (button && button->isChecked()) return;
    group->setExclusive(false);
    for (QAbstractButton* each : group->buttons())
        each->setChecked(each == button);
    group->setExclusive(true);
}

void SetText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) edit->setText(text);
}

void SetText(QLineEdit* edit, const std::string& text) {
    SetText(edit, QString::fromStdString(text));
}

void SetCurrentIndex(QComboBox* combo, int index) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

namespace {
const char* const kInputKinds[] = {"edit", "combo", "radio", "check", "button", "list"};
}

QWidget* FindControl(const QWidget* page, int id) {
    for (const char* kind : kInputKinds)
        if (auto* widget = page->findChild<QWidget*>(QLatin1String(kind) + QString::number(id)))
            return widget;
    return nullptr;
}

QList<QWidget*> Widgets(const QWidget* page, int id) {
    QList<QWidget*> widgets;
    for (const char* kind : kInputKinds)
        widgets += page->findChildren<QWidget*>(QLatin1String(kind) + QString::number(id));
    widgets += page->findChildren<QWidget*>(QStringLiteral("label%1").arg(id));
    return widgets;
}

} // namespace PageWidgets
