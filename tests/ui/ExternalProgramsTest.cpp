// The waveform editor's round trip, the preference windows and the other programs, reached as
// a performer reaches them: the menu bar, the editor button, clicks and typing in the windows.
#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/AppShell.h"
#include "ui/PreferenceWindows.h"
#include "ui/SaveChangesWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>

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
            Type(pref.TxteditProgramPath, path);
            QTest::mouseClick(pref.ComOK, Qt::LeftButton);
        }));
        choose("mnuPreference");
    }
    void clickEdit() {
        QTest::mouseClick(m_window.ComEdit, Qt::LeftButton);
        EXPECT_TRUE(test::WaitForLoads(m_app.bank)); // the tracks come back in the background
    }
    std::deque<Modal> m_modals;
    int m_ended = 0;
};

TEST_F(ExternalProgramsTest, TheEditorHasTheFileWhileTheDeviceIsClosedAndTheTracksComeBack) {
    const QString edited = m_dir.filePath("edited.bin");
    ASSERT_TRUE(test::WriteFile(edited, test::PcmWav(2, 44100, 16, 22050 * 4)));
    const QString editor = m_dir.filePath("edit tool.sh");
    test::WriteFile(editor, ("#!/bin/sh\ncp '" + edited + "' \"$1\"\n").toUtf8());
    QFile::setPermissions(editor, QFile::ReadOwner | QFile::ExeOwner);
    chooseEditor(editor);
    clickEdit(); // nothing selected yet
    EXPECT_EQ(m_platform.cursor.waits, 0) << "not even the hourglass";
    EXPECT_TRUE(m_platform.processes.started.empty() && m_platform.messages.shown.empty());

    addWav("my kick.wav", 44100, 2, 44100);
    addWav("gone.wav", 44100, 2, 4410);
    load(1, "gone.wav");
    load(0, "my kick.wav");
    m_platform.processes.succeed = false;
    clickEdit(); // no wait window
    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral(
                                  "波形編集ソフトが開けません、参照設定を正しく行ってください。")});
    EXPECT_NE(m_app.sound.soundLibHandle, 0) << "the device must come back";
    m_platform.processes.succeed = true;

    QTest::mouseClick(frame(0).ComStart, Qt::LeftButton);
    std::int32_t libraryWhileWaiting = -1;
    m_modals.push_back(In<EditorWaitWindow>([&](EditorWaitWindow& wait) {
        libraryWhileWaiting = m_app.sound.soundLibHandle;
        const auto& [program, arguments] = m_platform.processes.started.back();
        EXPECT_EQ(arguments, QStringList{m_dir.filePath("my kick.wav")}) << "one word";
        EXPECT_EQ(QProcess::execute(program, arguments), 0);
        QFile::remove(m_dir.filePath("gone.wav"));
        QTest::mouseClick(wait.ComRestart, Qt::LeftButton);
    }));
    clickEdit();
    EXPECT_EQ(libraryWhileWaiting, 0) << "the sound device stayed open during the edit";
    EXPECT_EQ(m_platform.cursor.depth, 0);
    EXPECT_EQ(frame(0).lblSample->text(), QStringLiteral("0.500s"));
    EXPECT_EQ(frame(0).ComStart->text(), QStringLiteral("PLAY")) << "it was silenced";
    EXPECT_FALSE(frame(1).ComStart->isEnabled() || !frame(1).lblWavTitle->text().isEmpty());
    QTest::mouseClick(frame(0).ComStart, Qt::LeftButton);
    renderBlock();
    VoiceStatus status;
    EXPECT_TRUE(dsGetStatus(bank().track(0).buffer, status) && status.playing);
}

TEST_F(ExternalProgramsTest, AnEmptyChoiceIsToldAndTheWaitWindowEndsOnlyOnPurpose) {
    addWav("a.wav", 44100, 2, 4410);
    load(0, "a.wav");
    chooseEditor("/usr/bin/true");
    chooseEditor(QString());
    ASSERT_TRUE(m_window.ComEdit->isEnabled()) << "an empty path never disables the button";
    clickEdit();
    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral(
                                  "波形編集ソフトが指定されていません。設定 - 参照設定 "
                                  "で使いたい波形編集ソフトを指定してください")});
    EXPECT_EQ(m_platform.cursor.depth, 0);

    // Escape in the wait window is a stray key: only "Brenlo終了" and the close box end the
    // program, and a changed bank is asked about first; cancelling that goes back to waiting.
    chooseEditor("/usr/bin/true");
    const Modal escapeThenResume = In<EditorWaitWindow>([](EditorWaitWindow& wait) {
        QTest::keyClick(wait.ComRestart, Qt::Key_Escape); // the default button has the focus
        EXPECT_TRUE(wait.isVisible()) << "Escape closed the wait window";
        QTest::mouseClick(wait.ComRestart, Qt::LeftButton);
    });
    const auto answer = [](int reply) { return [reply](QDialog&) { return reply; }; };
    m_modals = {escapeThenResume, In<EditorWaitWindow>([](EditorWaitWindow& w) {
                    QTest::mouseClick(w.ComEnd, Qt::LeftButton);
                }),
                answer(SaveChangesWindow::Cancel), escapeThenResume};
    choose("mnuEditWav");
    choose("mnuEditWav");
    EXPECT_TRUE(m_modals.empty());
    EXPECT_EQ(m_ended, 0);
    EXPECT_TRUE(frame(0).ComStart->isEnabled()) << "back from the editor";

    m_platform.settings.written.clear();
    m_modals = {In<EditorWaitWindow>([](EditorWaitWindow& wait) { wait.close(); }),
                answer(SaveChangesWindow::No)};
    choose("mnuEditWav");
    EXPECT_EQ(m_ended, 1);
    const std::vector<QString>& written = m_platform.settings.written;
    EXPECT_EQ(written.size(), 15u); // ten of "Info", five of our own
    EXPECT_EQ(std::count(written.begin(), written.end(), QStringLiteral("FormSizeFlag")), 0);
}

TEST_F(ExternalProgramsTest, PreferencesVolumeControlWebPageAndAbout) {
    prefer([](Preferences& p) { p.volumeControlPath = "/usr/bin/pavucontrol"; });
    m_platform.fileDialogs.answers = {QStringLiteral("/usr/bin/audacity"), std::nullopt,
                                      std::nullopt};
    m_modals = {In<PreferenceWindow>([](PreferenceWindow& pref) {
        QTest::mouseClick(pref.ComPrefe_edit, Qt::LeftButton);
        EXPECT_EQ(pref.TxteditProgramPath->text(), QStringLiteral("/usr/bin/audacity"));
        // A cancelled browse leaves its box as it was, even after the other box browsed.
        QTest::mouseClick(pref.ComGetVolumeControlpath, Qt::LeftButton);
        EXPECT_EQ(pref.txtVolumeControlPath->text(), QStringLiteral("/usr/bin/pavucontrol"));
        Type(pref.TxteditProgramPath, QString());
        QTest::mouseClick(pref.ComPrefe_edit, Qt::LeftButton);
        EXPECT_EQ(pref.TxteditProgramPath->text(), QString());
        Type(pref.TxtCdImage, "/discs/set.cue");
        QTest::mouseClick(pref.ComOK, Qt::LeftButton);
    })};
    choose("mnuPreference");
    EXPECT_EQ(m_app.VolumeControlPath + m_app.editProgramPath + m_app.cd.state.imagePath,
              QStringLiteral("/usr/bin/pavucontrol/discs/set.cue"));

    // Cancel changes nothing; OK switches to the small layout at once and writes nothing yet.
    for (QPushButton* OtherSettingsWindow::*button :
         {&OtherSettingsWindow::ComCancel, &OtherSettingsWindow::ComOK}) {
        m_modals = {In<OtherSettingsWindow>([button](OtherSettingsWindow& other) {
            QTest::mouseClick(other.ChkFormSizeFlag, Qt::LeftButton);
            QTest::mouseClick(other.ChkEndCdEnd, Qt::LeftButton);
            QTest::mouseClick(other.*button, Qt::LeftButton);
        })};
        m_platform.settings.written.clear();
        choose("mnuOtherSetting");
    }
    EXPECT_EQ(m_app.FormSizeFlag, 1);
    EXPECT_TRUE(m_app.cd.state.stopCdOnExit && !m_app.previewLoop);
    EXPECT_EQ(m_window.height(), 454) << "the small layout at once";
    EXPECT_TRUE(m_platform.settings.written.empty());

    prefer([this](Preferences& p) { p.volumeControlPath = m_dir.filePath("missing-mixer"); });
    QTest::mouseClick(m_window.ComVol_Show, Qt::LeftButton);
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
    QTest::mouseClick(about->cmdOK, Qt::LeftButton);
}

} // namespace
} // namespace mt
