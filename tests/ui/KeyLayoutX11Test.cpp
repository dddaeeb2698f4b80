// The performance keys by place under a real X server's keyboard layouts: the keys where
// US-QWERTY has Z X C A S D W E play tracks 1 to 8 whatever the layout types there, and a key
// remapped by the performer plays in its new place.
#include "audio/AudioTestKit.h"
#include "support/UiFixture.h"
#include "support/XvfbServer.h"
#include "ui/ControllerWindows.h"

#include <QLabel>
#include <QProcess>

namespace mt::test {
namespace {

class KeyLayoutX11Test : public MainWindowTest {
protected:
    void SetUp() override {
        if (XvfbMissing()) {
            GTEST_SKIP() << "no X server for the layout test: " << NoXServerReason().toStdString();
        }
        ASSERT_TRUE(NoXServerReason().isEmpty()) << NoXServerReason().toStdString();
        addFile("tone.wav", SineWav(44100, 1, 330.0, 44100 * 6));
        for (int i = 0; i < kTrackCount; ++i) {
            load(i, "tone.wav");
            frame(i).CheckLoop->setChecked(false);
            frame(i).CheckDuuk->setChecked(false);
        }
        ShowActive(m_window);
    }
    static void x11(const QString& program, const QStringList& arguments) {
        QProcess p;
        p.start(program, arguments);
        ASSERT_TRUE(p.waitForStarted(5000)) << program.toStdString() << " is not installed";
        ASSERT_TRUE(QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, 5000));
        ASSERT_EQ(p.exitCode(), 0)
            << program.toStdString() << ": " << p.readAllStandardError().toStdString();
    }
    // Types the key with this key name in the layout set; the track that started, or -1.
    int trackPlayedBy(const char* key) {
        for (int i = 0; i < kTrackCount; ++i) {
            bank().stop(i);
        }
        x11(QStringLiteral("xdotool"), {QStringLiteral("key"), QLatin1String(key)});
        QTest::qWait(150);
        for (int i = 0; i < kTrackCount; ++i) {
            if (bank().playing(i)) {
                return i;
            }
        }
        return -1;
    }
};

TEST_F(KeyLayoutX11Test, TrackKeysPlayByPlaceOnEveryLayout) {
    // What each layout types on US-QWERTY's Z X C A S D W E, then on its Q and Y.
    struct Layout {
        const char* name;
        const char* tracks[kTrackCount];
        const char* elsewhere[2];
    };
    const Layout layouts[] = {{"us", {"z", "x", "c", "a", "s", "d", "w", "e"}, {"q", "y"}},
                              {"fr", {"w", "x", "c", "q", "s", "d", "z", "e"}, {"a", "y"}},
                              {"de", {"y", "x", "c", "a", "s", "d", "w", "e"}, {"q", "z"}}};
    for (const Layout& layout : layouts) {
        x11(QStringLiteral("setxkbmap"), {QLatin1String(layout.name)});
        for (int t = 0; t < kTrackCount; ++t) {
            EXPECT_EQ(trackPlayedBy(layout.tracks[t]), t) << layout.name << " " << layout.tracks[t];
        }
        for (const char* key : layout.elsewhere) {
            EXPECT_EQ(trackPlayedBy(key), -1) << layout.name << ": " << key << " played a track";
        }
    }

    // Remapped in the key window: track 1 on the key right of P, kept for the next start.
    x11(QStringLiteral("setxkbmap"), {QStringLiteral("us")});
    {
        KeyRemapWindow keys(m_app, &m_window);
        ShowActive(keys);
        QTest::mouseClick(keys.changeButtons[0], Qt::LeftButton);
        x11(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("bracketleft")});
        ASSERT_TRUE(QTest::qWaitFor([&] { return keys.keyLabels[0]->text().endsWith(" 34"); }));
    }
    m_app.keyPositions.restoreDefaults();
    m_app.keyPositions.load(m_platform.settings, m_app.appName);
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    EXPECT_EQ(trackPlayedBy("bracketleft"), 0);
    EXPECT_EQ(trackPlayedBy("z"), -1);
}

} // namespace
} // namespace mt::test
