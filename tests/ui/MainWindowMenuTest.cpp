#include "app/AppContext.h"
#include "support/PlatformDoubles.h"
#include "ui/JapaneseFont.h"
#include "ui/MainWindow.h"
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

// The program chooses its font before it makes the window, as main() does: every Japanese
// caption has a glyph, and the window's size is its twips at the screen's resolution.
TEST(MainWindow, JapaneseCaptionsHaveRealGlyphsAndTheSizeComesFromTwips) {
    UseJapaneseFont(*qApp);
    test::TestPlatform platform;
    AppContext app(platform.services);
    MainWindow window(app);
    const double dpi = window.screen()->logicalDotsPerInchY();
    EXPECT_NEAR(window.width(), 11325 * dpi / 1440, 1.0);
    EXPECT_NEAR(window.height(), 8100 * dpi / 1440, 1.0);

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
