// The per-user settings store of a program: QSettings under the company key
// "Norda Applikationen" and the program's key; a section is a group
// ("Port/Name"). On Linux the file is
// $XDG_CONFIG_HOME/Norda Applikationen/<program key>.conf.
#pragma once

#include "ProgramInfo.h"

#include <QString>
#include <memory>

class QSettings;

namespace appkit {

class SettingsStore {
public:
    explicit SettingsStore(Program program = ProgramInfo::Current());
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The stored value, or the default when the key is missing (or, for an
    // integer, not a number).
    int GetInt(const QString& section, const QString& key, int defaultValue) const;
    QString GetString(const QString& section, const QString& key, const QString& defaultValue = {}) const;
    void WriteInt(const QString& section, const QString& key, int value);
    void WriteString(const QString& section, const QString& key, const QString& value);
    bool Contains(const QString& section, const QString& key) const;
    // Writes pending changes to the file (the destructor does it too).
    void Sync();

    Program program() const { return m_program; }

private:
    Program m_program;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace appkit
