// CDataPage: the widgets of the data page (dialog 103, "Daten") over its
// model CDatenRegisterkarte: representation and data format buttons,
// character count, used bytes, rotations, type identifiers, the four read
// registers and the information frame. Controls that the connection flags
// do not enable are hidden.
#pragma once

#include "DatenRegisterkarte.h"

#include <QWidget>
#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

class CDataPage : public QWidget {
    Q_OBJECT
public:
    explicit CDataPage(CDatenRegisterkarte& model, QWidget* parent = nullptr);

    CDatenRegisterkarte& Model() { return m_model; }
    // The model's controls into the widgets (texts, checks, enabling,
    // visibility, information frame).
    void ShowControls();
    // The widgets into the model's controls.
    void ReadControls();

signals:
    void functionTestRequested();
    void readBackRequested();

private:
    void OnDataFormatClicked(int format);

    CDatenRegisterkarte& m_model;
    QButtonGroup* m_representation = nullptr;
    QButtonGroup* m_dataFormat = nullptr;
    QLineEdit* m_count = nullptr;
    QLineEdit* m_first = nullptr;
    QLineEdit* m_last = nullptr;
    QCheckBox* m_byteRotation = nullptr;
    QCheckBox* m_bitRotation = nullptr;
    QLineEdit* m_before = nullptr;
    QLineEdit* m_after = nullptr;
    std::array<QComboBox*, 4> m_types{};
    std::array<QLineEdit*, 4> m_starts{};
    std::array<QLineEdit*, 4> m_lengths{};
    QGroupBox* m_info = nullptr;
    std::array<QLabel*, 5> m_lines{};
};
