#include "ui/LanguageMenu.h"

#include "app/AppContext.h"
#include "app/Language.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace mt {

void AddLanguageMenu(QMenu& settings, AppContext& app) {
    QMenu* menu = settings.addMenu(QStringLiteral("言語 / Language"));
    menu->setObjectName(QStringLiteral("mnuLanguage"));
    auto* group = new QActionGroup(menu);
    const struct {
        Language language;
        const char* name;
        QString caption, told;
    } choices[] = {{Language::Japanese, "mnuLanguageJapanese", QStringLiteral("日本語"),
                    QStringLiteral("次回の起動から日本語で表示します。\n"
                                   "Marrowtune will be in Japanese from the next start.")},
                   {Language::English, "mnuLanguageEnglish", QStringLiteral("English"),
                    QStringLiteral("次回の起動から英語で表示します。\n"
                                   "Marrowtune will be in English from the next start.")}};
    for (const auto& choice : choices) {
        QAction* item = menu->addAction(choice.caption);
        item->setObjectName(QLatin1String(choice.name));
        item->setCheckable(true);
        group->addAction(item);
        QObject::connect(item, &QAction::triggered, menu,
                         [&app, language = choice.language, told = choice.told] {
                             if (app.language == language) {
                                 return;
                             }
                             app.language = language;
                             StoreLanguage(app.platform.settings, app.appName, language);
                             app.platform.messages.show(told, kAppTitle, MessageIcon::Information);
                         });
    }
    // The stored choice is read once the window loads: tick it whenever the menu opens.
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, &app] {
        for (QAction* item : menu->actions()) {
            item->setChecked(item->objectName() == QLatin1String(app.language == Language::English
                                                                     ? "mnuLanguageEnglish"
                                                                     : "mnuLanguageJapanese"));
        }
    });
}

} // namespace mt
