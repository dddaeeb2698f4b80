#include "ui/ExternalPrograms.h"
#include "audio/AudioTestKit.h"
#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/AppShell.h"
#include "ui/FrmHenkou.h"
#include "ui/PreferenceWindows.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <deque>
#include <functional>

namespace mt {
namespace {

class ExternalProgramsTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        m_window.shell().endProcess = [this] { ++m_ended; };
    }
    ExternalPrograms& external() { return m_window.external(); }
    // An editor that replaces the file it is given with `replacement`.
    QString fakeEditor(const QString& replacement) {
        QString script = m_dir.filePath("edit tool.sh");
        test::WriteFile(script, ("#!/bin/sh\ncp '" + replacement + "' \"$1\"\n").toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }
    int m_ended = 0;
};

TEST_F(ExternalProgramsTest, EditorRoundTripReloadsTheEditedSound) {
    addWav("my kick.wav", 44100, 2, 44100);
    addWav("gone.wav", 44100, 2, 4410);
    load(1, "gone.wav");
    load(0, "my kick.wav");
    const QString edited = m_dir.filePath("edited.bin");
    ASSERT_TRUE(test::WriteFile(edited, test::PcmWav(2, 44100, 16, 22050 * 4)));
    m_app.editProgramPath = fakeEditor(edited);

    std::int32_t libraryWhileWaiting = -1;
    m_platform.modals.inspect = [&](QDialog& dialog) {
        auto& wait = dynamic_cast<FrmEditWait&>(dialog);
        EXPECT_EQ(wait.windowTitle(), QStringLiteral("Marrowtune - 再開待機中"));
        EXPECT_EQ(wait.ComRestart->text(), QStringLiteral("Brenlo 再開"));
        EXPECT_EQ(wait.ComEnd->text(), QStringLiteral("Brenlo終了"));
        libraryWhileWaiting = m_app.sound.soundLibHandle;
        // The editor does its work, and meanwhile another file goes away.
        const auto& [program, arguments] = m_platform.processes.started.back();
        EXPECT_EQ(QProcess::execute(program, arguments), 0);
        QFile::remove(m_dir.filePath("gone.wav"));
        return int(QDialog::Accepted);
    };
    external().ComEdit_Click();

    ASSERT_EQ(m_platform.processes.started.size(), 1u);
    EXPECT_EQ(m_platform.processes.started[0].second, QStringList{m_dir.filePath("my kick.wav")})
        << "the path must arrive as one word";
    EXPECT_EQ(libraryWhileWaiting, 0) << "the sound device stays open during the edit";
    EXPECT_NE(m_app.sound.soundLibHandle, 0);
    EXPECT_EQ(m_platform.cursor.depth, 0);
    EXPECT_TRUE(bank().tracks[0].loaded);
    EXPECT_EQ(frame(0).lblSample->text(), QStringLiteral("0.500s"));
    EXPECT_FALSE(bank().tracks[1].loaded);
    EXPECT_TRUE(frame(1).lblWavTitle->text().isEmpty());
    EXPECT_FALSE(frame(1).ComStart->isEnabled());
    EXPECT_TRUE(bank().tracks[1].path.isEmpty());

    tracks().ComStart_Click(0);
    renderBlock();
    VoiceStatus status;
    EXPECT_TRUE(dsGetStatus(bank().tracks[0].buffer, status) && status.playing);
}

TEST_F(ExternalProgramsTest, NoSelectionNoEditorAndAnEditorThatWillNotStart) {
    external().ComEdit_Click(); // nothing selected yet
    EXPECT_EQ(m_platform.cursor.waits, 0) << "not even the hourglass";
    EXPECT_TRUE(m_platform.messages.shown.empty());

    addWav("a.wav", 44100, 2, 4410);
    load(0, "a.wav");
    m_app.editProgramPath.clear();
    external().ComEdit_Click();
    ASSERT_EQ(m_platform.messages.shown.size(), 1u);
    EXPECT_EQ(m_platform.messages.shown[0].text,
              QStringLiteral("波形編集ソフトが指定されていません。設定 - 参照設定 "
                             "で使いたい波形編集ソフトを指定してください"));
    EXPECT_EQ(m_platform.cursor.depth, 0);
    EXPECT_NE(m_app.sound.soundLibHandle, 0);

    m_app.editProgramPath = m_dir.filePath("no-such-editor");
    m_platform.processes.succeed = false;
    external().ComEdit_Click();
    EXPECT_EQ(m_platform.messages.shown.back().text,
              QStringLiteral("波形編集ソフトが開けません、参照設定を正しく行ってください。"));
    EXPECT_EQ(m_platform.modals.runs, 0) << "no wait window without an editor";
    EXPECT_NE(m_app.sound.soundLibHandle, 0) << "the device must come back";
    EXPECT_TRUE(bank().tracks[0].loaded);
    EXPECT_EQ(m_platform.cursor.depth, 0);
}

TEST_F(ExternalProgramsTest, EndingFromTheWaitWindowKeepsTheSettingsItShould) {
    addWav("a.wav", 44100, 2, 4410);
    load(0, "a.wav");
    m_app.editProgramPath = "/usr/bin/true";
    m_platform.settings.written.clear();
    m_platform.modals.inspect = [](QDialog& dialog) {
        if (dynamic_cast<FrmHenkou*>(&dialog) != nullptr) {
            return int(FrmHenkou::No); // the changed bank goes unsaved
        }
        dialog.show();
        QTest::mouseClick(dynamic_cast<FrmEditWait&>(dialog).ComEnd, Qt::LeftButton);
        return dialog.result();
    };
    external().ComEdit_Click();
    EXPECT_EQ(m_ended, 1);
    EXPECT_EQ(m_platform.settings.written.size(), 15u); // ten of "Info", five of our own
    EXPECT_EQ(std::count(m_platform.settings.written.begin(), m_platform.settings.written.end(),
                         QStringLiteral("FormSizeFlag")),
              0);
}

// Escape in the wait window is a stray key, not a way out: only "Brenlo終了" and the close
// box end the program, and a changed bank is asked about first, as when quitting from the
// main window; cancelling that question goes back to waiting.
TEST_F(ExternalProgramsTest, OnlyTheEndButtonAndTheCloseBoxEndFromTheWaitWindowAndAskFirst) {
    addWav("a.wav", 44100, 2, 4410);
    load(0, "a.wav");
    ASSERT_TRUE(bank().bankChanged);
    m_app.editProgramPath = "/usr/bin/true";
    test::ShowActive(m_window);
    QAction& edit = *m_window.menuItem("mnuEditWav");

    // Each wait window shown takes the next step; each question is answered with the next
    // answer.
    std::deque<std::function<void(FrmEditWait&)>> steps;
    std::deque<int> answers;
    int waitWindows = 0;
    m_platform.modals.inspect = [&](QDialog& dialog) {
        if (dynamic_cast<FrmHenkou*>(&dialog) != nullptr) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        auto& wait = dynamic_cast<FrmEditWait&>(dialog);
        ++waitWindows;
        wait.show();
        const auto step = steps.front();
        steps.pop_front();
        step(wait);
        return wait.result();
    };
    const auto escapeThenResume = [](FrmEditWait& wait) {
        // In the modal window the default button holds the focus; the key goes there first.
        QTest::keyClick(wait.ComRestart, Qt::Key_Escape);
        EXPECT_TRUE(wait.isVisible()) << "Escape closed the wait window";
        if (wait.isVisible()) {
            QTest::mouseClick(wait.ComRestart, Qt::LeftButton);
        }
    };
    steps = {escapeThenResume};
    test::ChooseMenuItem(m_window, edit);
    EXPECT_EQ(m_ended, 0);
    EXPECT_NE(m_app.sound.soundLibHandle, 0) << "back from the editor";
    EXPECT_TRUE(bank().tracks[0].loaded);

    // "Brenlo終了", the question cancelled: waiting again, then resumed.
    steps = {[](FrmEditWait& wait) { QTest::mouseClick(wait.ComEnd, Qt::LeftButton); },
             escapeThenResume};
    answers = {int(FrmHenkou::Cancel)};
    waitWindows = 0;
    test::ChooseMenuItem(m_window, edit);
    EXPECT_EQ(waitWindows, 2);
    EXPECT_TRUE(answers.empty()) << "not asked";
    EXPECT_EQ(m_ended, 0);
    EXPECT_NE(m_app.sound.soundLibHandle, 0);

    // The close box, the question answered "no": the program ends.
    steps = {[](FrmEditWait& wait) { wait.close(); }};
    answers = {int(FrmHenkou::No)};
    test::ChooseMenuItem(m_window, edit);
    EXPECT_TRUE(answers.empty()) << "not asked";
    EXPECT_EQ(m_ended, 1);
}

// Cancelling a browse leaves its box as it was, even after the other box browsed.
TEST_F(ExternalProgramsTest, CancellingABrowseLeavesTheBoxAsItWas) {
    m_app.VolumeControlPath = QStringLiteral("/usr/bin/pavucontrol");
    m_app.editProgramPath = QStringLiteral("/usr/bin/sweep");
    m_platform.modals.inspect = [this](QDialog& dialog) {
        auto& pref = dynamic_cast<FrmPreference&>(dialog);
        test::ShowActive(pref);
        m_platform.fileDialogs.answers = {QStringLiteral("/usr/bin/audacity"), std::nullopt,
                                          std::nullopt};
        QTest::mouseClick(pref.ComPrefe_edit, Qt::LeftButton);
        EXPECT_EQ(pref.TxteditProgramPath->text(), QStringLiteral("/usr/bin/audacity"));
        QTest::mouseClick(pref.ComGetVolumeControlpath, Qt::LeftButton); // cancelled
        EXPECT_EQ(pref.txtVolumeControlPath->text(), QStringLiteral("/usr/bin/pavucontrol"));
        pref.TxteditProgramPath->clear();
        QTest::mouseClick(pref.ComPrefe_edit, Qt::LeftButton); // cancelled
        EXPECT_EQ(pref.TxteditProgramPath->text(), QString());
        QTest::mouseClick(pref.ComOK, Qt::LeftButton);
        return pref.result();
    };
    test::ShowActive(m_window);
    test::ChooseMenuItem(m_window, *m_window.menuItem("mnuPreference"));
    EXPECT_EQ(m_platform.fileDialogs.requests.size(), 3u);
    EXPECT_EQ(m_app.VolumeControlPath, QStringLiteral("/usr/bin/pavucontrol"));
    EXPECT_TRUE(m_app.editProgramPath.isEmpty());
}

TEST_F(ExternalProgramsTest, PreferenceWindows) {
    m_platform.modals.inspect = [](QDialog& dialog) {
        auto& pref = dynamic_cast<FrmPreference&>(dialog);
        EXPECT_EQ(pref.windowTitle(), QStringLiteral("参照設定"));
        pref.TxteditProgramPath->setText("/opt/editor");
        pref.txtVolumeControlPath->setText("/opt/mixer");
        pref.TxtCdImage->setText("/discs/set.cue");
        pref.ComOK_Click();
        return pref.result();
    };
    external().mnuPreference_Click();
    EXPECT_EQ(m_app.editProgramPath, QStringLiteral("/opt/editor"));
    EXPECT_EQ(m_app.VolumeControlPath, QStringLiteral("/opt/mixer"));
    EXPECT_EQ(m_app.cd.state.imagePath, QStringLiteral("/discs/set.cue"));
    EXPECT_TRUE(m_window.ComEdit->isEnabled());

    // Browsing: the filter and the name the dialog held before a cancel.
    m_platform.modals.inspect = [this](QDialog& dialog) {
        auto& pref = dynamic_cast<FrmPreference&>(dialog);
        m_platform.fileDialogs.answers = {QStringLiteral("/usr/bin/audacity"), std::nullopt};
        pref.ComPrefe_edit_Click();
        EXPECT_EQ(pref.TxteditProgramPath->text(), QStringLiteral("/usr/bin/audacity"));
        pref.ComGetVolumeControlpath_Click(); // cancelled: the box keeps its text
        EXPECT_EQ(pref.txtVolumeControlPath->text(), QStringLiteral("/opt/mixer"));
        EXPECT_EQ(m_platform.fileDialogs.requests.front().filter,
                  QStringLiteral("波形編集ソフト (*.exe)|*.exe|すべてのファイル (*.*)|*.*|"));
        EXPECT_EQ(m_platform.fileDialogs.requests.front().filterIndex, 2);
        pref.TxteditProgramPath->clear();
        pref.ComOK_Click();
        return pref.result();
    };
    external().mnuPreference_Click();
    EXPECT_TRUE(m_window.ComEdit->isEnabled()) << "an empty path never disables the button";
    addWav("a.wav", 44100, 2, 4410);
    load(0, "a.wav");
    QTest::mouseClick(m_window.ComEdit, Qt::LeftButton);
    EXPECT_TRUE(
        m_platform.messages.shown.back().text.startsWith("波形編集ソフトが指定されていません"));

    // Cancel changes nothing; OK in the other settings switches the layout at once.
    m_platform.modals.inspect = [](QDialog& dialog) {
        auto& other = dynamic_cast<FrmOtherSetting&>(dialog);
        EXPECT_EQ(other.windowTitle(), QStringLiteral("その他の設定"));
        other.ChkFormSizeFlag->setChecked(true);
        other.ChkPreviewLoop->setChecked(true);
        return int(QDialog::Rejected);
    };
    external().mnuOtherSetting_Click();
    EXPECT_EQ(m_app.FormSizeFlag, 0);
    EXPECT_FALSE(m_app.previewLoop);
    m_platform.modals.inspect = [](QDialog& dialog) {
        auto& other = dynamic_cast<FrmOtherSetting&>(dialog);
        other.ChkFormSizeFlag->setChecked(true);
        other.ChkEndCdEnd->setChecked(true);
        other.ComOK_Click();
        return other.result();
    };
    m_platform.settings.written.clear();
    external().mnuOtherSetting_Click();
    EXPECT_EQ(m_app.FormSizeFlag, 1);
    EXPECT_TRUE(m_app.cd.state.stopCdOnExit);
    EXPECT_EQ(m_window.height(), 454) << "the small layout at once";
    EXPECT_TRUE(m_platform.settings.written.empty());
}

TEST_F(ExternalProgramsTest, VolumeControlWebPageAndAbout) {
    m_app.VolumeControlPath = m_dir.filePath("missing-mixer");
    m_window.ComVol_Show->click();
    EXPECT_EQ(m_platform.messages.shown.back().text,
              QStringLiteral("ボリュームコントロールが見つかりません。「設定」－「参照設定」"
                             "でボリュームコントロールの場所を指定してください｡ "));
    m_app.VolumeControlPath = m_dir.path(); // a folder: there, but it does not start
    m_platform.processes.succeed = false;
    m_window.menuItem("mnuVolumeControl")->trigger();
    EXPECT_EQ(m_platform.messages.shown.back().text,
              QStringLiteral("ボリュームコントロールが開けません。「設定」－「参照設定」で場所を"
                             "指定してください｡ "));

    m_window.menuItem("mnuhelpAtume")->trigger();
    EXPECT_EQ(m_platform.urls.opened, std::vector<QString>{"https://freesound.org/"});
    EXPECT_FALSE(m_window.menuItem("mnuhelp1")->isEnabled());
    m_window.menuItem("mnuhelpver")->trigger();
    auto* about = m_window.findChild<FrmMtnAbout*>();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(about->Label1->text(), QStringLiteral("Marrowtune Ver1.50　β2"));
    EXPECT_EQ(about->Label3->text(), QStringLiteral("\"Thanks!\""));
    EXPECT_FALSE(about->isModal());
    about->cmdOK->click();
}

} // namespace
} // namespace mt
