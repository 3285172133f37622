// CParamPage: the widgets of the parameter page (dialog 112, "Parameter")
// over its model CParamRegisterkarte: the operating modes (with the hidden
// "Leer" button), the sensor check box, the current and the new baud rate,
// cycle time, timeout and request character, enabled by the mode.
#pragma once

#include "ParamRegisterkarte.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;

class CParamPage : public QWidget {
    Q_OBJECT
public:
    explicit CParamPage(CParamRegisterkarte& model, QWidget* parent = nullptr);

    CParamRegisterkarte& Model() { return m_model; }
    void ShowControls();
    void ReadControls();

signals:
    void functionTestRequested();
    void readBackRequested();

private:
    void OnModeClicked(int mode);

    CParamRegisterkarte& m_model;
    QButtonGroup* m_modes = nullptr;
    QCheckBox* m_sensor = nullptr;
    QLineEdit* m_currentBaud = nullptr;
    QComboBox* m_setBaud = nullptr;
    QLineEdit* m_cycleTime = nullptr;
    QLineEdit* m_timeout = nullptr;
    QLineEdit* m_request = nullptr;
};
