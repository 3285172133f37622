// Small helpers the pages share: widgets named by their control ids, texts
// by dialog and control, and the radio-group and check handling that a
// model's "no button checked" needs.
#pragma once

#include <QList>
#include <QString>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace PageWidgets {

QString Text(int dialog, int control);
QRadioButton* Radio(QWidget* parent, int dialog, int control);
QCheckBox* Check(QWidget* parent, int dialog, int control);
QPushButton* Button(QWidget* parent, int dialog, int control);
// An edit named edit<control>; digitsOnly accepts digits only (the number style).
QLineEdit* Edit(QWidget* parent, int control, bool digitsOnly = false, int maxLength = 0);

// A row with the buttons at its right end (a page's "Funktionstest" and "Inhalt lesen").
QHBoxLayout* RightAlignedRow(QPushButton* first, QPushButton* second);

// Checks the button with that id, or none for an id the group lacks.
void CheckButton(QButtonGroup* group, int id);
// Sets a text without disturbing an edit that shows it already.
void SetText(QLineEdit* edit, const QString& text);
void SetText(QLineEdit* edit, const std::string& text);
void SetCurrentIndex(QComboBox* combo, int index);

// The input widget of a control id on a page (edit, combo, radio, check or
// button), or null.
QWidget* FindControl(const QWidget* page, int id);
// Every widget of a control id, its label included.
QList<QWidget*> Widgets(const QWidget* page, int id);

} // namespace PageWidgets
