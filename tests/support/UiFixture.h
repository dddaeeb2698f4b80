#pragma once

#include "audio/DsCalls.h"
#include "audio/OfflineOutput.h"
#include "core/AppContext.h"
#include "support/PlatformDoubles.h"
#include "support/WavBytes.h"
#include "ui/FileBrowser.h"
#include "ui/Form1.h"
#include "ui/TrackFrame.h"
#include "ui/TrackPanel.h"

#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace mt::test {

// A main window on the offscreen platform with the platform doubles and a sound library on
// an offline output, and a temporary folder of WAV files shown in its browser.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        // Start-up as the program does it, with the output at 44.1 kHz for measuring.
        m_platform.settings.setValue(m_app.appName, "Info", "QuSample", "44100");
        m_app.dataDir = QStringLiteral(MT_BUILD_DATA_DIR);
        m_window.Form_Load();
    }
    ~MainWindowTest() override { m_app.sound.TerminateSoundLibrary(); }

    // Opens the sound library on an offline output the test pulls blocks from.
    std::int32_t openOffline() {
        auto output = std::make_unique<OfflineOutput>();
        m_output = output.get();
        return dsInitializeOn(std::move(output));
    }

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

    // Selects the file in the list without a click.
    void select(const QString& name) {
        const auto items = browser().File2->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        browser().File2->setCurrentItem(items.front());
    }

    // A click on a listed file's name, as a performer makes it. Shows the window first, active
    // as under a person's hands.
    void clickFile(const QString& name) {
        if (!m_window.isVisible()) {
            m_window.show();
            m_window.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&m_window));
        }
        QListWidget* list = browser().File2;
        const auto items = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        list->scrollToItem(items.front());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items.front()).center());
    }

    // Loads a listed file into a track as a performer does: a click on its name in the file
    // list, then one on the track's "Change!" button.
    void load(int track, const QString& name) {
        clickFile(name);
        QTest::mouseClick(frame(track).ComChange, Qt::LeftButton);
    }
    void assign(int track, const QString& name) { load(track, name); }

    // Pulls one device block so the engine's status reflects the commands sent.
    void renderBlock() { m_output->render(256); }

    std::vector<QString> messageTexts() const {
        std::vector<QString> texts;
        for (const ShownMessage& m : m_platform.messages.shown) {
            texts.push_back(m.text);
        }
        return texts;
    }

    FileBrowser& browser() { return m_window.browser(); }
    TrackPanel& tracks() { return m_window.tracks(); }
    TrackFrame& frame(int i) { return m_window.tracks().frame(i); }
    TrackBank& bank() { return m_app.bank; }

    QTemporaryDir m_dir;
    TestPlatform m_platform;
    OfflineOutput* m_output = nullptr;
    bool m_noSoundDevice = false; // opening the library fails from here on, as with no device
    AppContext m_app{m_platform.services, [this](std::intptr_t, std::int32_t) {
                         return m_noSoundDevice ? 0 : openOffline();
                     }};
    Form1 m_window{m_app};
};

} // namespace mt::test
