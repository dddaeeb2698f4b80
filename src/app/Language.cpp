#include "app/Language.h"

#include "platform/SettingsStore.h"

#include <QTranslator>

namespace mt {
namespace {

const QString kSection = QStringLiteral("Marrowtune");
const QString kKey = QStringLiteral("Language");

} // namespace

Language StoredLanguage(const SettingsStore& store, const QString& app) {
    return store.value(app, kSection, kKey).value_or(QString()).trimmed().toLower() ==
                   QLatin1String("en")
               ? Language::English
               : Language::Japanese;
}

void StoreLanguage(SettingsStore& store, const QString& app, Language language) {
    store.setValue(app, kSection, kKey,
                   language == Language::English ? QStringLiteral("en") : QStringLiteral("ja"));
}

std::unique_ptr<QTranslator> TranslatorFor(Language language) {
    if (language == Language::Japanese) {
        return nullptr;
    }
    // Built into the program from translations/marrowtune_en.ts.
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/i18n/marrowtune_en.qm"))) {
        return nullptr;
    }
    return translator;
}

} // namespace mt
