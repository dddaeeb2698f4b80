// The performance keys by place under a real X server's keyboard layouts: the keys where
// US-QWERTY has Z X C A S D W E play tracks 1 to 8 whatever the layout types there, and a key
// remapped by the performer plays in its new place.
#include "audio/AudioTestKit.h"
#include "support/X11WindowTest.h"
#include "ui/ControllerWindows.h"

#include <QLabel>

namespace mt::test {
namespace {

class KeyLayoutX11Test : public X11WindowTest {
protected:
    void prepare() override {
        addFile("tone.wav", SineWav(44100, 1, 330.0, 44100 * 6));
        for (int i = 0; i < kTrackCount; ++i) {
            load(i, "tone.wav");
            frame(i).loopCheck->setChecked(false);
            frame(i).holdCheck->setChecked(false);
        }
        ShowActive(m_window);
    }
    // Types the key with this key name in the layout set; the track that started, or -1.
    int trackPlayedBy(const char* key) {
        for (int i = 0; i < kTrackCount; ++i) {
            bank().stop(i);
        }
        x11("xdotool", {"key", QLatin1String(key)});
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
        x11("setxkbmap", {QLatin1String(layout.name)});
        for (int t = 0; t < kTrackCount; ++t) {
            EXPECT_EQ(trackPlayedBy(layout.tracks[t]), t) << layout.name << " " << layout.tracks[t];
        }
        for (const char* key : layout.elsewhere) {
            EXPECT_EQ(trackPlayedBy(key), -1) << layout.name << ": " << key << " played a track";
        }
    }

    // The key window, opened on the German layout, names the keys as it types them. Escape
    // takes a choice back; another action's key moves only when the performer agrees, and
    // panic's last key never. Track 1 on the key right of P, kept for the next start.
    {
        KeyRemapWindow keys(m_app.keyPositions, m_app.platform.settings, m_app.appName,
                            m_app.platform.messages, &m_window);
        ShowActive(keys);
        EXPECT_EQ(keys.keyLabels[0]->text() + " " + keys.keyLabels[18]->text(),
                  "Y Control_L / Control_R");
        const auto press = [&](int action, const char* key) {
            QTest::mouseClick(keys.changeButtons[action], Qt::LeftButton);
            x11("xdotool", {"key", QLatin1String(key)});
            return QTest::qWaitFor([&] { return keys.changeButtons[action]->text() == "変更"; });
        };
        m_platform.settings.written.clear();
        ASSERT_TRUE(press(7, "Escape"));
        EXPECT_TRUE(keys.isVisible() && m_platform.settings.written.empty());
        EXPECT_EQ(keys.keyLabels[7]->text() + keys.keyLabels[KeyPositions::kPanic]->text(),
                  "EEscape");
        m_platform.messages.answers = {false};
        ASSERT_TRUE(press(0, "x"));
        ASSERT_TRUE(press(KeyPositions::kPanic, "F12"));
        ASSERT_TRUE(press(0, "F12"));
        EXPECT_EQ(keys.keyLabels[0]->text() + keys.keyLabels[1]->text() +
                      keys.keyLabels[KeyPositions::kPanic]->text(),
                  "YXF12");
        ASSERT_EQ(m_platform.messages.shown.size(), 2U); // the question, then the refusal
        EXPECT_FALSE(m_platform.messages.shown[1].question);
        x11("setxkbmap", {"us"});
        ASSERT_TRUE(press(0, "bracketleft"));
        EXPECT_EQ(keys.keyLabels[0]->text(), "[");
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
