#include "IpAddressEdit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace frontend {

IpAddressEdit::IpAddressEdit(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (int i = 0; i < 4; ++i) {
        if (i > 0) layout->addWidget(new QLabel(QStringLiteral("."), this));
        auto* field = new QLineEdit(this);
        field->setObjectName(name + QLatin1Char('.') + QString::number(i));
        field->setMaxLength(3);
        // 0..255 as typed: a digit that would go past 255 is refused.
        static const QRegularExpression octet(QStringLiteral("25[0-5]|2[0-4][0-9]|1[0-9]{2}|[1-9]?[0-9]"));
        field->setValidator(new QRegularExpressionValidator(octet, field));
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
        field->installEventFilter(this);
        layout->addWidget(field);
        m_fields[i] = field;
        if (i < 3)
            connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
                // A third digit completes the octet.
                if (text.size() == 3 && m_fields[i]->cursorPosition() == 3) {
                    m_fields[i + 1]->setFocus();
                    m_fields[i + 1]->selectAll();
                }
            });
    }
    layout->addStretch();
    setFocusProxy(m_fields[0]);
}

QStringList IpAddressEdit::Octets() const {
    QStringList octets;
    for (const QLineEdit* field : m_fields)
        octets.append(field->text());
    return octets;
}

void IpAddressEdit::SetOctets(const QStringList& octets) {
    for (int i = 0; i < 4; ++i)
        m_fields[i]->setText(i < octets.size() ? octets[i] : QString());
}

void IpAddressEdit::FocusFirst() {
    m_fields[0]->setFocus();
    m_fields[0]->selectAll();
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        for (int i = 0; i < 3; ++i) {
            // A dot moves to the next field (the validator would refuse it).
            if (watched == m_fields[i] &&
                (key->key() == Qt::Key_Period || key->text() == QLatin1String("."))) {
                if (!m_fields[i]->text().isEmpty()) {
                    m_fields[i + 1]->setFocus();
                    m_fields[i + 1]->selectAll();
                }
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace frontend
