#pragma once

#include "platform/SettingsStore.h"

namespace mt {

// Settings kept as one INI file per application name, <folder>/<app>.ini. The folder defaults
// to the user's configuration folder; tests point it at a temporary one.
class IniSettingsStore final : public SettingsStore {
public:
    IniSettingsStore();
    explicit IniSettingsStore(QString folder);

    std::optional<QString> value(const QString& app, const QString& section,
                                 const QString& key) const override;
    void setValue(const QString& app, const QString& section, const QString& key,
                  const QString& value) override;
    bool writesSucceeded() override;

private:
    QString fileFor(const QString& app) const;

    QString m_folder;
    bool m_writeFailed = false;
};

} // namespace mt
