#pragma once

#include <QString>

#include <optional>

namespace mt {

// Per-user stored settings addressed by application name, section and key, holding text.
// Keys and sections are matched without regard to case: a value written as "Qubit" is the
// value read as "QuBit", and writing replaces it whatever case it was stored in.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // UI thread only. May touch the disk.
    virtual std::optional<QString> value(const QString& app, const QString& section,
                                         const QString& key) const = 0;
    virtual void setValue(const QString& app, const QString& section, const QString& key,
                          const QString& value) = 0;

    // True when every write since the last call reached the store; clears the record.
    virtual bool writesSucceeded() { return true; }
};

} // namespace mt
