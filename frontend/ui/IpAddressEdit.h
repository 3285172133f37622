// IpAddressEdit: an IPv4 address editor of four octet fields, as a dialog's
// IP address control. Each field takes up to three digits, 0..255; typing a
// dot, or a third digit, moves on to the next field. The fields are named
// "<editor's name>.0" .. ".3" for tests.
#pragma once

#include <QStringList>
#include <QWidget>

class QLineEdit;

namespace frontend {

class IpAddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit IpAddressEdit(const QString& name, QWidget* parent = nullptr);

    // The four octet texts ("" for an empty field).
    QStringList Octets() const;
    void SetOctets(const QStringList& octets);
    QLineEdit* Field(int index) const { return m_fields[index]; }
    // Gives the first field the focus, its text selected.
    void FocusFirst();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_fields[4] = {};
};

} // namespace frontend
