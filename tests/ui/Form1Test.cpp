#include "ui/Form1.h"
#include "core/AppContext.h"
#include "support/PlatformDoubles.h"
#include "ui/JapaneseFont.h"
#include "ui/QtDialogServices.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QRawFont>
#include <QScreen>

#include <gtest/gtest.h>

namespace mt {
namespace {

struct MenuRow {
    const char* caption;
    const char* name; // "" for a separator
};

// The captions of a menu, "-" for a separator, each with its control name.
std::vector<std::pair<QString, QString>> Rows(const QMenu* menu) {
    std::vector<std::pair<QString, QString>> rows;
    for (const QAction* a : menu->actions()) {
        rows.emplace_back(a->isSeparator() ? QStringLiteral("-") : a->text(), a->objectName());
    }
    return rows;
}

std::vector<std::pair<QString, QString>> Expected(std::initializer_list<MenuRow> rows) {
    std::vector<std::pair<QString, QString>> out;
    for (const MenuRow& r : rows) {
        out.emplace_back(QString::fromUtf8(r.caption), QString::fromUtf8(r.name));
    }
    return out;
}

class Form1Test : public ::testing::Test {
protected:
    test::TestPlatform m_platform;
    AppContext m_app{m_platform.services};
    Form1 m_window{m_app};
};

TEST_F(Form1Test, TitleAndMenuBarAreExact) {
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Marrowtune - New"));

    QStringList titles;
    std::vector<QMenu*> menus;
    for (QAction* a : m_window.menuBar()->actions()) {
        titles << a->text();
        menus.push_back(a->menu());
    }
    EXPECT_EQ(titles,
              QStringList({"ファイル(&F)", "表示(&V)", "機能(&K)", "設定(&S)", "ヘルプ(&H)"}));
    ASSERT_EQ(menus.size(), 5u);

    EXPECT_EQ(Rows(menus[0]), Expected({{"新規作成(&N)", "mnunew"},
                                        {"開く(&O)", "mnuFileOpen"},
                                        {"上書き保存(&V)", "mnuUwagaki"},
                                        {"名前を付けて保存(&S)", "mnuFileSave"},
                                        {"-", ""},
                                        {"終了(&X)", "mnuClose"}}));
    EXPECT_EQ(Rows(menus[1]), Expected({{"プレイモードへ(&P)", "mnuplay"},
                                        {"カウンター(&X)", "mnuCounter"},
                                        {"メディアコントローラー(&M)", "mnuCD"},
                                        {"ボリュームコントロール(&B)", "mnuVolumeControl"}}));
    EXPECT_EQ(Rows(menus[2]), Expected({{"Lock on(&L)", "mnuLock"},
                                        {"波形編集（外部プログラム）(&E)", "mnuEditWav"},
                                        {"-", ""},
                                        {"ファイル削除(&D)", "mnuDeleteFile"}}));
    // The output window is our own addition, beside the sound-quality window.
    EXPECT_EQ(Rows(menus[3]), Expected({{"音質(&O)", "mnuonshitu"},
                                        {"出力(&A)", "mnuOutput"},
                                        {"参照設定(&P)", "mnuPreference"},
                                        {"その他の設定(&S)", "mnuOtherSetting"}}));
    EXPECT_EQ(Rows(menus[4]), Expected({{"Marrowtuneヘルプ(&D)", "mnuhelp1"},
                                        {"サウンドを集めに行く（webサイト)(&S)", "mnuhelpAtume"},
                                        {"-", ""},
                                        {"バージョン情報(&V)", "mnuhelpver"}}));
    EXPECT_EQ(Rows(m_window.fileListPopup()), Expected({{"ファイル削除", "mnuDeleteWAV_popup"}}));
    EXPECT_EQ(Rows(m_window.trackPopup()),
              Expected({{"一匹狼", "mnuOokami"}, {"WAVファイル情報表示", "mnuWavInfo"}}));
    EXPECT_FALSE(m_window.menuItem("mnuhelp1")->isEnabled());
}

TEST_F(Form1Test, DefaultSizeComesFromTwips) {
    // 11325 x 8100 twips at the screen's twips per pixel (15 at 96 dpi).
    const double dpi = m_window.screen()->logicalDotsPerInchY();
    EXPECT_NEAR(m_window.width(), 11325 * dpi / 1440, 1.0);
    EXPECT_NEAR(m_window.height(), 8100 * dpi / 1440, 1.0);
}

// The program chooses its font before it makes the window, as main() does.
TEST(Form1Font, JapaneseCaptionsHaveRealGlyphs) {
    UseJapaneseFont(*qApp);
    test::TestPlatform platform;
    AppContext app(platform.services);
    Form1 window(app);
    const QRawFont font = QRawFont::fromFont(window.menuBar()->font());
    ASSERT_TRUE(font.isValid());
    QString captions;
    for (const QAction* a : window.findChildren<QAction*>()) {
        captions += a->text();
    }
    for (const QMenu* m : window.findChildren<QMenu*>()) {
        captions += m->title();
    }
    for (const QChar c : captions) {
        if (c.unicode() > 0x7f) {
            EXPECT_TRUE(font.supportsCharacter(c))
                << "no glyph for U+" << std::hex << static_cast<int>(c.unicode()) << " in "
                << font.familyName().toStdString();
        }
    }
}

TEST(FileDialogFilter, OldStyleFiltersBecomeQtFilters) {
    EXPECT_EQ(QtFilterList("すべてのファイル (*.*)|*.*|セッティングファイル (*.mrw)|*.mrw|"),
              QStringList({"すべてのファイル (*.*)", "セッティングファイル (*.mrw)"}));
    EXPECT_EQ(QtFilterList("Wave|*.wav;*.WAV"), QStringList({"Wave (*.wav *.WAV)"}));
    EXPECT_TRUE(QtFilterList("").isEmpty());
}

} // namespace
} // namespace mt
