#include "SettingsStore.h"

#include <QSettings>

namespace appkit {

namespace {
QString Path(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}
} // namespace

SettingsStore::SettingsStore(Program program)
    : m_program(program),
      m_settings(std::make_unique<QSettings>(ProgramInfo::CompanyKey(), ProgramInfo::ProgramKey(program))) {}

SettingsStore::~SettingsStore() = default;

int SettingsStore::GetInt(const QString& section, const QString& key, int defaultValue) const {
    const QVariant value = m_settings->value(Path(section, key));
    if (!value.isValid()) return defaultValue;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : defaultValue;
}

QString SettingsStore::GetString(const QString& section, const QString& key,
                                 const QString& defaultValue) const {
    const QVariant value = m_settings->value(Path(section, key));
    return value.isValid() ? value.toString() : defaultValue;
}

void SettingsStore::WriteInt(const QString& section, const QString& key, int value) {
    m_settings->setValue(Path(section, key), value);
}

void SettingsStore::WriteString(const QString& section, const QString& key, const QString& value) {
    m_settings->setValue(Path(section, key), value);
}

bool SettingsStore::Contains(const QString& section, const QString& key) const {
    return m_settings->contains(Path(section, key));
}

void SettingsStore::Sync() {
    m_settings->sync();
}

} // namespace appkit
