// The waveform editor's round trip, the preference windows and the other programs, reached as
// a performer reaches them: the menu bar, the editor button, clicks and typing in the windows.
#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/AppShell.h"
#include "ui/PreferenceWindows.h"
#include "ui/SaveChangesWindow.h"

#include <QLineEdit>

#include <deque>
#include <functional>

namespace mt {
namespace {

using Modal = std::function<int(QDialog&)>;

// A window of type W, shown and handed to `act` before it closes.
template <typename W> Modal In(std::function<void(W&)> act) {
    return [act](QDialog& dialog) {
        auto& window = dynamic_cast<W&>(dialog);
        test::ShowActive(window);
        act(window);
        return window.result();
    };
}

void Type(QLineEdit* box, const QString& text) {
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

class ExternalProgramsTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        m_window.shell().endProcess = [this] { ++m_ended; };
        test::ShowActive(m_window);
        // Each modal window shown is handled by the next step.
        m_platform.modals.inspect = [this](QDialog& dialog) {
            if (m_modals.empty()) {
                ADD_FAILURE() << "unexpected " << dialog.objectName().toStdString();
                return 0;
            }
            const Modal next = m_modals.front();
            m_modals.pop_front();
            return next(dialog);
        };
    }
    // The editor typed into the preference window, as a performer chooses it.
    void chooseEditor(const QString& path) {
        m_modals.push_back(In<PreferenceWindow>([path](PreferenceWindow& pref) {
            Type(pref.editorPathEdit, path);
            QTest::mouseClick(pref.okButton, Qt::LeftButton);
        }));
        choose("mnuPreference");
    }
    std::deque<Modal> m_modals;
    int m_ended = 0;
};

// The round trip's rules: EditorRoundTripTest. Here the button and the menu start it, the
// wait window's buttons answer it, and the device is closed while it waits.
TEST_F(ExternalProgramsTest, TheEditButtonAndTheWaitWindowDriveTheRoundTrip) {
    addWav("my kick.wav", 44100, 2, 44100);
    load(0, "my kick.wav");
    chooseEditor("/usr/bin/true");
    chooseEditor(QString());
    ASSERT_TRUE(m_window.editButton->isEnabled()) << "an empty path never disables the button";
    chooseEditor("/usr/bin/true");
    QTest::mouseClick(frame(0).startButton, Qt::LeftButton);
    std::int32_t libraryWhileWaiting = -1;
    m_modals.push_back(In<EditorWaitWindow>([&](EditorWaitWindow& wait) {
        libraryWhileWaiting = m_app.sound.soundLibHandle;
        QTest::mouseClick(wait.resumeButton, Qt::LeftButton);
    }));
    QTest::mouseClick(m_window.editButton, Qt::LeftButton);
    EXPECT_TRUE(test::WaitForLoads(m_app.bank)); // the tracks come back in the background
    EXPECT_EQ(libraryWhileWaiting, 0) << "the sound device stayed open during the edit";
    EXPECT_EQ(frame(0).startButton->text(), QStringLiteral("PLAY")) << "it was silenced";
    EXPECT_TRUE(frame(0).startButton->isEnabled()) << "and reloaded";

    // Escape is a stray key; "Brenlo終了" and the close box ask to end the program.
    const auto answer = [](int reply) { return [reply](QDialog&) { return reply; }; };
    m_modals = {In<EditorWaitWindow>([](EditorWaitWindow& wait) {
                    QTest::keyClick(wait.resumeButton, Qt::Key_Escape); // the default button's
                    EXPECT_TRUE(wait.isVisible()) << "Escape closed the wait window";
                    QTest::mouseClick(wait.quitButton, Qt::LeftButton);
                }),
                answer(SaveChangesWindow::Cancel),
                In<EditorWaitWindow>([](EditorWaitWindow& wait) { wait.close(); }),
                answer(SaveChangesWindow::No)};
    m_platform.settings.written.clear();
    choose("mnuEditWav");
    EXPECT_TRUE(m_modals.empty());
    EXPECT_EQ(m_ended, 1);
    EXPECT_EQ(m_platform.settings.written.size(), 26u) << "the settings are kept";
}

TEST_F(ExternalProgramsTest, PreferencesVolumeControlWebPageAndAbout) {
    prefer([](Preferences& p) { p.volumeControlPath = "/usr/bin/pavucontrol"; });
    m_platform.fileDialogs.answers = {QStringLiteral("/usr/bin/audacity"), std::nullopt,
                                      std::nullopt};
    m_modals = {In<PreferenceWindow>([](PreferenceWindow& pref) {
        QTest::mouseClick(pref.editorBrowseButton, Qt::LeftButton);
        EXPECT_EQ(pref.editorPathEdit->text(), QStringLiteral("/usr/bin/audacity"));
        // A cancelled browse leaves its box as it was, even after the other box browsed.
        QTest::mouseClick(pref.volumeControlBrowseButton, Qt::LeftButton);
        EXPECT_EQ(pref.volumeControlPathEdit->text(), QStringLiteral("/usr/bin/pavucontrol"));
        Type(pref.editorPathEdit, QString());
        QTest::mouseClick(pref.editorBrowseButton, Qt::LeftButton);
        EXPECT_EQ(pref.editorPathEdit->text(), QString());
        Type(pref.cdImageEdit, "/discs/set.cue");
        QTest::mouseClick(pref.okButton, Qt::LeftButton);
    })};
    choose("mnuPreference");
    EXPECT_EQ(m_app.volumeControlPath + m_app.editProgramPath + m_app.cd.state.imagePath,
              QStringLiteral("/usr/bin/pavucontrol/discs/set.cue"));

    // Cancel changes nothing; OK switches to the small layout at once and writes nothing yet.
    for (QPushButton* OtherSettingsWindow::*button :
         {&OtherSettingsWindow::cancelButton, &OtherSettingsWindow::okButton}) {
        m_modals = {In<OtherSettingsWindow>([button](OtherSettingsWindow& other) {
            QTest::mouseClick(other.smallLayoutCheck, Qt::LeftButton);
            QTest::mouseClick(other.stopCdAtEndCheck, Qt::LeftButton);
            QTest::mouseClick(other.*button, Qt::LeftButton);
        })};
        m_platform.settings.written.clear();
        choose("mnuOtherSetting");
    }
    EXPECT_EQ(m_app.smallLayout, 1);
    EXPECT_TRUE(m_app.cd.state.stopCdOnExit && !m_app.previewLoop);
    EXPECT_EQ(m_window.height(), 454) << "the small layout at once";
    EXPECT_TRUE(m_platform.settings.written.empty());

    prefer([this](Preferences& p) { p.volumeControlPath = m_dir.filePath("missing-mixer"); });
    QTest::mouseClick(m_window.volumeControlButton, Qt::LeftButton);
    prefer([this](Preferences& p) { p.volumeControlPath = m_dir.path(); }); // no program
    m_platform.processes.succeed = false;
    choose("mnuVolumeControl");
    const QString where = QStringLiteral("指定してください｡ ");
    EXPECT_EQ(messageTexts(),
              std::vector<QString>(
                  {"ボリュームコントロールが見つかりません。「設定」－「参照設定」で"
                   "ボリュームコントロールの場所を" +
                       where,
                   "ボリュームコントロールが開けません。「設定」－「参照設定」で場所を" + where}));
    choose("mnuhelpAtume");
    EXPECT_EQ(m_platform.urls.opened, std::vector<QString>{"https://freesound.org/"});
    choose("mnuhelpver");
    auto* about = m_window.findChild<AboutWindow*>();
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(about->isModal());
    QTest::mouseClick(about->closeButton, Qt::LeftButton);
}

} // namespace
} // namespace mt
