// The program's texts in English and in Japanese: every window the menu bar opens, read widget by
// widget, and the language menu's choice kept for the next start.
#include "app/Language.h"
#include "support/UiFixture.h"
#include "ui/AppShell.h"
#include "ui/ControllerWindows.h"
#include "ui/MidiPerformance.h"
#include "ui/OscControl.h"
#include "ui/OscWindow.h"
#include "ui/PreferenceWindows.h"
#include "ui/SaveChangesWindow.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QTranslator>

namespace mt {
namespace {

bool HasJapanese(const QString& text) {
    return std::ranges::any_of(text, [](QChar c) {
        return (c >= QChar(0x3040) && c <= QChar(0x30ff)) ||
               (c >= QChar(0x4e00) && c <= QChar(0x9fff));
    });
}

// Every text a person reads on `root` and its children, as "objectName: text". The language
// menu is left out: it reads the same in both languages on purpose.
QStringList VisibleTexts(const QWidget& root) {
    QStringList texts;
    QList<const QWidget*> widgets = root.findChildren<const QWidget*>();
    widgets.prepend(&root);
    for (const QWidget* w : widgets) {
        QStringList own{w->isWindow() ? w->windowTitle() : QString(), w->toolTip()};
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            own << label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            own << button->text();
        } else if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            own << group->title();
        } else if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
            own << edit->placeholderText();
        } else if (const auto* combo = qobject_cast<const QComboBox*>(w);
                   combo != nullptr && combo->objectName() != QLatin1String("Drive1")) {
            for (int i = 0; i < combo->count(); ++i) {
                own << combo->itemText(i);
            }
        } else if (const auto* table = qobject_cast<const QTableWidget*>(w)) {
            for (int c = 0; c < table->columnCount(); ++c) {
                own << table->horizontalHeaderItem(c)->text();
            }
        }
        for (const QAction* a : w->actions()) {
            const QObject& named =
                a->menu() != nullptr ? *static_cast<const QObject*>(a->menu()) : *a;
            if (!named.objectName().startsWith(QLatin1String("mnuLanguage"))) {
                own << a->text() << a->toolTip();
            }
        }
        own.removeAll(QString());
        for (const QString& text : own) {
            texts << w->objectName() + QLatin1String(": ") + text;
        }
    }
    return texts;
}

// The main window in `language`, the translator installed before anything makes a text, as
// main() does, with the MIDI and OSC windows' menus.
class LanguageTest : public test::AppTest {
protected:
    explicit LanguageTest(Language language = Language::English)
        : m_translator(TranslatorFor(language)),
          m_installed(m_translator && QCoreApplication::installTranslator(m_translator.get())) {
        m_app.dataDir = QStringLiteral(MT_BUILD_DATA_DIR);
        m_window.shell().endProcess = [] {};
        m_window.onLoad();
        AddControllerMenus(m_window, m_app, m_midi);
        AttachOscWindow(m_window, m_osc);
        test::ShowActive(m_window);
    }
    ~LanguageTest() override {
        m_app.sound.TerminateSoundLibrary();
        QCoreApplication::removeTranslator(m_translator.get());
    }

    // Chooses every item of the menu bar but the way out (the modal windows are read while up,
    // through the platform's double), the play mode last since it hides the main window; then
    // reads every top-level window, the messages and the file dialogs' requests.
    QStringList everyText() {
        QStringList texts;
        m_platform.modals.inspect = [&texts](QDialog& dialog) {
            texts << VisibleTexts(dialog);
            return 0;
        };
        for (QMenu* menu : m_window.menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
            for (QAction* item : menu->actions()) {
                if (item->isEnabled() && !item->isSeparator() && item->menu() == nullptr &&
                    item->objectName() != QLatin1String("mnuClose") &&
                    item->objectName() != QLatin1String("mnuplay")) {
                    test::ChooseMenuItem(m_window, *item);
                }
            }
        }
        m_window.menuItem(QStringLiteral("mnuplay"))->trigger();
        for (const QWidget* w : QApplication::topLevelWidgets()) {
            texts << VisibleTexts(*w);
        }
        for (const test::ShownMessage& m : m_platform.messages.shown) {
            texts << QStringLiteral("message: ") + m.text + QLatin1Char(' ') + m.title;
        }
        for (const FileDialogRequest& r : m_platform.fileDialogs.requests) {
            texts << QStringLiteral("file dialog: ") + r.title + QLatin1Char(' ') + r.filter;
        }
        return texts;
    }

    std::unique_ptr<QTranslator> m_translator;
    bool m_installed;
    MidiPerformance m_midi{m_app};
    OscControl m_osc{m_app};
    MainWindow m_window{m_app};
};

TEST_F(LanguageTest, InEnglishNoWindowShowsJapanese) {
    ASSERT_TRUE(m_installed) << "the English texts are built into the program";
    QStringList texts = everyText();
    EXPECT_GT(texts.size(), 900) << "the windows were walked";
    // Two made outside the menus: the question about changes, the editor's wait.
    texts << VisibleTexts(*new SaveChangesWindow(QStringLiteral("live.mrw"), &m_window))
          << VisibleTexts(*new EditorWaitWindow(&m_window));
    for (const QString& text : texts) {
        EXPECT_FALSE(HasJapanese(text)) << text.toStdString();
    }
}

class JapaneseTest : public LanguageTest {
protected:
    JapaneseTest() : LanguageTest(Language::Japanese) {}
};

// Japanese is the source: no translator, and the menus read as written. A choice in the
// language menu is stored at once and told in both languages, shown ticked, and kept by the
// settings written at the end.
TEST_F(JapaneseTest, TheSourceTextsShowAndTheLanguageMenuKeepsTheChoiceForTheNextStart) {
    EXPECT_EQ(m_translator, nullptr);
    QStringList titles;
    for (const QAction* menu : m_window.menuBar()->actions()) {
        titles << menu->text();
    }
    EXPECT_EQ(titles,
              QStringList({"ファイル(&F)", "表示(&V)", "機能(&K)", "設定(&S)", "ヘルプ(&H)"}));
    auto* languages = m_window.findChild<QMenu*>(QStringLiteral("mnuLanguage"));
    ASSERT_NE(languages, nullptr);
    auto* settings = qobject_cast<QMenu*>(languages->parent());
    QMenuBar* bar = m_window.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {},
                      bar->actionGeometry(settings->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitFor([settings] { return settings->isVisible(); }));
    QTest::mouseClick(settings, Qt::LeftButton, {},
                      settings->actionGeometry(languages->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitFor([languages] { return languages->isVisible(); }));
    QAction* japanese = languages->actions().at(0);
    QAction* english = languages->actions().at(1);
    EXPECT_TRUE(japanese->isChecked() && !english->isChecked());
    QTest::mouseClick(languages, Qt::LeftButton, {}, languages->actionGeometry(english).center());

    EXPECT_EQ(StoredLanguage(m_platform.settings, m_app.appName), Language::English);
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    const test::ShownMessage& told = m_platform.messages.shown[0];
    EXPECT_TRUE(told.icon == MessageIcon::Information && HasJapanese(told.text) &&
                told.text.contains(QStringLiteral("English")));
    EXPECT_TRUE(m_window.close() && english->isChecked());
    EXPECT_EQ(StoredLanguage(m_platform.settings, m_app.appName), Language::English);
}

} // namespace
} // namespace mt
