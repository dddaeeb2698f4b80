#pragma once

#include <QString>

#include <memory>

class QTranslator;

namespace mt {

class SettingsStore;

// The language of the program's texts. Japanese is the language they are written in; English
// comes from the translation built into the program.
enum class Language { Japanese, English };

// The language stored in the program's own settings (key "Language", "ja" or "en"); Japanese
// when nothing or anything else is stored. UI thread only.
Language StoredLanguage(const SettingsStore& store, const QString& app);
void StoreLanguage(SettingsStore& store, const QString& app, Language language);

// The translator that shows the program in `language`, for QCoreApplication::installTranslator
// before any window is made; null for Japanese, and when the translation cannot be loaded.
std::unique_ptr<QTranslator> TranslatorFor(Language language);

} // namespace mt
