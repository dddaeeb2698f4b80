#include "platform/IniSettingsStore.h"

#include <QSettings>
#include <QStandardPaths>

namespace mt {
namespace {

// The name under which QSettings holds `wanted`, matched without regard to case, or wanted
// itself when there is none yet.
QString storedName(const QStringList& names, const QString& wanted) {
    for (const QString& name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
            return name;
        }
    }
    return wanted;
}

} // namespace

IniSettingsStore::IniSettingsStore()
    : IniSettingsStore(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)) {}

IniSettingsStore::IniSettingsStore(QString folder) : m_folder(std::move(folder)) {}

QString IniSettingsStore::fileFor(const QString& app) const {
    return m_folder + QLatin1Char('/') + app + QStringLiteral(".ini");
}

std::optional<QString> IniSettingsStore::value(const QString& app, const QString& section,
                                               const QString& key) const {
    QSettings settings(fileFor(app), QSettings::IniFormat);
    settings.beginGroup(storedName(settings.childGroups(), section));
    const QString name = storedName(settings.childKeys(), key);
    if (!settings.contains(name)) {
        return std::nullopt;
    }
    return settings.value(name).toString();
}

void IniSettingsStore::setValue(const QString& app, const QString& section, const QString& key,
                                const QString& value) {
    QSettings settings(fileFor(app), QSettings::IniFormat);
    settings.beginGroup(storedName(settings.childGroups(), section));
    // One value per key whatever case it was written in before.
    for (const QString& name : settings.childKeys()) {
        if (name.compare(key, Qt::CaseInsensitive) == 0 && name != key) {
            settings.remove(name);
        }
    }
    settings.setValue(key, value);
    settings.sync();
    m_writeFailed = m_writeFailed || settings.status() != QSettings::NoError;
}

bool IniSettingsStore::writesSucceeded() {
    const bool ok = !m_writeFailed;
    m_writeFailed = false;
    return ok;
}

} // namespace mt
