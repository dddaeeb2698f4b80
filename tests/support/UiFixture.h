#pragma once

#include "app/AppContext.h"
#include "audio/OfflineOutput.h"
#include "audio/SoundBuffers.h"
#include "support/PlatformDoubles.h"
#include "support/RealInput.h"
#include "support/TrackLoads.h"
#include "support/WavBytes.h"
#include "ui/ColourButton.h"
#include "ui/FileBrowser.h"
#include "ui/MainWindow.h"
#include "ui/TrackFrame.h"
#include "ui/TrackPanel.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace mt::test {

// The program's context with the platform doubles and a sound library on an offline output,
// and a temporary folder; no window yet.
class AppTest : public ::testing::Test {
protected:
    // Opens the sound library on an offline output the test pulls blocks from.
    std::int32_t openOffline() {
        auto output = std::make_unique<OfflineOutput>();
        m_output = output.get();
        return openSoundLibraryWith(std::move(output));
    }
    std::vector<QString> messageTexts() const { return m_platform.messages.texts(); }
    // A stored preference changed as the preference windows change it.
    template <typename Edit> void prefer(Edit edit) {
        Preferences preferences = m_app.performance.preferences();
        edit(preferences);
        m_app.performance.setPreferences(preferences);
    }

    QTemporaryDir m_dir;
    TestPlatform m_platform;
    OfflineOutput* m_output = nullptr;
    bool m_noSoundDevice = false; // opening the library fails from here on, as with no device
    AppContext m_app{m_platform.services, [this](std::intptr_t, std::int32_t) {
                         return m_noSoundDevice ? 0 : openOffline();
                     }};
};

// A main window started as the program does, with the output at 44.1 kHz for measuring, and
// the temporary folder's WAV files shown in its browser.
class MainWindowTest : public AppTest {
protected:
    MainWindowTest() {
        m_platform.settings.setValue(m_app.appName, "Info", "QuSample", "44100");
        m_app.dataDir = QStringLiteral(MT_BUILD_DATA_DIR);
        m_window.onLoad();
    }
    ~MainWindowTest() override { m_app.sound.TerminateSoundLibrary(); }

    // Writes a PCM WAV of `frames` frames into the browser's folder and lists it.
    QString addWav(const QString& name, int rate, int channels, int frames, int bits = 16) {
        return addFile(name, PcmWav(channels, rate, bits, frames * channels * bits / 8));
    }
    QString addFile(const QString& name, const QByteArray& bytes) {
        QString path = m_dir.filePath(name);
        EXPECT_TRUE(WriteFile(path, bytes));
        browser().setDirPath(m_dir.path());
        return path;
    }

    // Loads a listed file into a track as a performer does, in the shown, active window: a
    // click on its name in the file list, then one on the track's "Change!" button.
    void load(int track, const QString& name) {
        showWindow();
        ClickListItem(*browser().fileList, name);
        QTest::mouseClick(frame(track).changeButton, Qt::LeftButton);
        EXPECT_TRUE(WaitForLoads(m_app.bank)); // the sound comes through the event loop
    }
    // Chooses a menu item by its object name from the menu bar of the shown window.
    void choose(const char* item) {
        showWindow();
        ChooseMenuItem(m_window, *m_window.menuItem(QString::fromLatin1(item)));
        EXPECT_TRUE(WaitForLoads(m_app.bank)); // a set's sounds load in the background
    }
    void showWindow() {
        if (!m_window.isVisible()) {
            ShowActive(m_window);
        }
    }

    // Pulls one device block so the engine's status reflects the commands sent.
    void renderBlock() { m_output->render(256); }

    QString caption(int i) { return frame(i).startButton->text(); }
    static QColor colour(QWidget* w, QPalette::ColorRole role = QPalette::Window) {
        const auto* button = qobject_cast<ColourButton*>(w);
        return button != nullptr && role == QPalette::Button ? button->colour()
                                                             : w->palette().color(role);
    }
    static inline const QColor kBlue{0, 0, 255}, kMagenta{255, 0, 255}, kCyan{0, 255, 255};

    FileBrowser& browser() { return m_window.browser(); }
    TrackPanel& tracks() { return m_window.tracks(); }
    TrackFrame& frame(int i) { return m_window.tracks().frame(i); }
    TrackBank& bank() { return m_app.bank; }

    MainWindow m_window{m_app};
};

} // namespace mt::test
