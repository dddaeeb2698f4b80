// What the window does with an assignment: the frame shows what the bank derived, failures are
// told in a box, and the track's popup opens on a right click. What an assignment derives is
// the bank's (tests/core).
#include "support/RealInput.h"
#include "support/UiFixture.h"
#include "ui/ClickableLabel.h"
#include "ui/WavInfoWindow.h"

#include <QAction>
#include <QMenu>
#include <QRegularExpression>

namespace mt {
namespace {

const QString kReadFailure = QStringLiteral("読み込み失敗。WAVファイルに何らかの問題があります");
// A data chunk of no frames, junk after it: a file the library cannot decode.
QByteArray ZeroFrameWav() {
    return test::Chunk("RIFF", QByteArray("WAVE") +
                                   test::Chunk("fmt ", test::FmtBody(1, 2, 44100, 16)) + "data" +
                                   test::Le32(0) + QByteArray(4000, 'x'));
}

class TrackLoadingTest : public test::MainWindowTest {
protected:
    // The frame of a track with nothing to play.
    void expectEmptyFrame(int track) {
        EXPECT_FALSE(bank().track(track).loaded);
        EXPECT_FALSE(frame(track).startButton->isEnabled());
        EXPECT_EQ(frame(track).playTimeLabel->text(), QStringLiteral("s"));
    }
};

TEST_F(TrackLoadingTest, AssignmentShowsTitlePlayingTimeAndSelection) {
    addWav("a44.wav", 44100, 2, 100000);
    addWav("b22.wav", 22050, 1, 1000);
    QTest::mouseClick(frame(1).changeButton, Qt::LeftButton); // nothing chosen yet: nothing
    EXPECT_FALSE(bank().track(1).loaded);

    load(0, "a44.wav");
    EXPECT_EQ(std::make_tuple(frame(0).playTimeLabel->text(), frame(0).fileTitleLabel->text(),
                              frame(0).fileTitleLabel->toolTip()),
              std::make_tuple("2.268s", "a44.wav", m_dir.filePath("a44.wav")));
    EXPECT_TRUE(frame(0).startButton->isEnabled() && m_platform.cursor.depth == 0 &&
                m_platform.cursor.waits >= 1);
    EXPECT_EQ(colour(frame(0).trackNumberLabel), kMagenta);

    load(4, "b22.wav");
    EXPECT_TRUE(colour(frame(4).trackNumberLabel) == kMagenta &&
                colour(frame(0).trackNumberLabel) != kMagenta && m_platform.messages.shown.empty());

    // Cleared: the frame empties and the highlight moves to the next loaded track.
    load(0, "a44.wav");
    QTest::mouseClick(frame(0).clearButton, Qt::LeftButton);
    expectEmptyFrame(0);
    EXPECT_TRUE(frame(0).fileTitleLabel->text().isEmpty() && frame(0).changeButton->isEnabled());
    EXPECT_EQ(colour(frame(4).trackNumberLabel), kMagenta);
}

// Until its sound has come through the event loop the frame says the track is loading and
// its PLAY does nothing; then it shows the title alone and plays, for as long as was read.
TEST_F(TrackLoadingTest, TheFrameShowsALoadingTrackAndItsPlayWaitsForTheSound) {
    addWav("big.wav", 44100, 2, 44100 * 10);
    addWav("cut.wav", 44100, 2, 44100 * 4);
    showWindow();
    test::ClickListItem(*browser().fileList, QStringLiteral("big.wav"));
    QTest::mouseClick(frame(2).changeButton, Qt::LeftButton);
    EXPECT_EQ(frame(2).fileTitleLabel->text() + frame(2).playTimeLabel->text(),
              "読込中… big.wav10.000s");
    QTest::mouseClick(frame(2).startButton, Qt::LeftButton);
    EXPECT_FALSE(bank().playing(2));
    // Queued behind big.wav, cut.wav loses its second half before it is read.
    test::ClickListItem(*browser().fileList, QStringLiteral("cut.wav"));
    QTest::mouseClick(frame(3).changeButton, Qt::LeftButton);
    ASSERT_TRUE(QFile::resize(m_dir.filePath("cut.wav"), 44 + 44100 * 2 * 4));

    ASSERT_TRUE(test::WaitForLoads(bank()));
    EXPECT_EQ(frame(3).playTimeLabel->text() + frame(2).fileTitleLabel->text(), "2.000sbig.wav");
    QTest::mouseClick(frame(2).startButton, Qt::LeftButton);
    EXPECT_TRUE(bank().playing(2));
}

TEST_F(TrackLoadingTest, FailuresAreToldAndLeaveTheFrameEmpty) {
    addWav("good.wav", 44100, 2, 1000);
    addFile("broken.wav", QByteArray("RIFF\x10\0\0\0WAVEjunk", 16));
    addFile("empty.wav", QByteArray());
    load(2, "good.wav");
    load(2, "empty.wav");
    EXPECT_EQ(messageTexts(), std::vector<QString>{QStringLiteral("このファイルはサイズが0です")});
    EXPECT_EQ(frame(2).fileTitleLabel->text(), QStringLiteral("good.wav")) << "the track was kept";

    load(2, "broken.wav");
    expectEmptyFrame(2);
    EXPECT_EQ(frame(2).fileTitleLabel->text(), QString());
    EXPECT_EQ(std::make_pair(messageTexts().back(), m_platform.messages.shown.back().title),
              std::make_pair(kReadFailure, QStringLiteral("Marrowtune")));
    EXPECT_EQ(m_platform.cursor.depth, 0);

    // The library's own box, once.
    addFile("zero.wav", ZeroFrameWav());
    load(1, "zero.wav");
    expectEmptyFrame(1);
    ASSERT_EQ(m_platform.messages.shown.size(), 3u);
    EXPECT_EQ(m_platform.messages.shown.back().title, QStringLiteral("VbDSnd.Dll"));

    // A path no line of a setting file can hold is refused before the track changes.
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath("x\ny")) &&
                test::WriteFile(m_dir.filePath("x\ny/b.wav"), test::PcmWav(2, 44100, 16, 400)));
    browser().setDirPath(m_dir.filePath("x\ny"));
    load(1, "b.wav");
    EXPECT_EQ(messageTexts().back(), "ファイル名かフォルダ名に改行が入っているため、このファイルは"
                                     "トラックに割り当てられません。名前を変えてください");
    browser().setDirPath(m_dir.path());
    EXPECT_EQ(m_platform.messages.shown.size(), 4u);
    // With no sound device nothing can sound, and no box comes per track.
    m_app.sound.TerminateSoundLibrary();
    load(3, "good.wav");
    expectEmptyFrame(3);
    EXPECT_EQ(m_platform.messages.shown.size(), 4u);
}

// Back from the waveform editor with no sound device: nothing can sound, so no track counts as
// loaded, but the set keeps its files for a save and a later start.
TEST_F(TrackLoadingTest, NoSoundDeviceAfterTheEditorKeepsTheSetsFiles) {
    const QString path = addWav("kick.wav", 44100, 2, 4410);
    load(0, "kick.wav");
    prefer([](Preferences& p) { p.editProgramPath = "/bin/true"; });
    m_platform.modals.inspect = [this](QDialog&) {
        m_noSoundDevice = true; // the device went away while the editor ran
        return int(QDialog::Accepted);
    };
    choose("mnuEditWav");
    EXPECT_EQ(std::make_tuple(m_app.sound.soundLibHandle, bank().track(0).loaded,
                              frame(0).startButton->isEnabled(), bank().track(0).path,
                              frame(0).fileTitleLabel->text()),
              std::make_tuple(0, false, false, path, QStringLiteral("kick.wav")));
}

// A keep-pitch track's title says while its sound is being rendered and when that failed, the
// reason under the path in its tool tip; once rendered the title is the file's alone.
TEST_F(TrackLoadingTest, TheTitleShowsTheKeepPitchRender) {
    const QString path = addWav("two.wav", 44100, 2, 44100 * 2);
    load(0, "two.wav");
    QTest::mouseClick(frame(0).keepPitchButton, Qt::LeftButton);
    const auto rendering = [this] { return bank().track(0).renderState == RenderState::Rendering; };
    bank().setSpeed(0, 3000);
    ASSERT_TRUE(QTest::qWaitFor(rendering, 2000));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^変換中(…| \\d+%) two\\.wav$"))
                    .match(frame(0).fileTitleLabel->text())
                    .hasMatch())
        << frame(0).fileTitleLabel->text().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rendering(); }, 10000));
    EXPECT_EQ(std::make_tuple(bank().track(0).renderState, frame(0).fileTitleLabel->text(),
                              frame(0).fileTitleLabel->toolTip()),
              std::make_tuple(RenderState::None, QStringLiteral("two.wav"), path));

    // At the slowest speed two seconds would last half an hour: more than a render may make.
    bank().setSpeed(0, kMinSpeed);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return bank().track(0).renderState == RenderState::Failed; }, 5000));
    const QString reason = bank().track(0).renderError;
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(std::make_pair(frame(0).fileTitleLabel->text(), frame(0).fileTitleLabel->toolTip()),
              std::make_pair(QStringLiteral("変換失敗 two.wav"), path + "\n" + reason));
}

TEST_F(TrackLoadingTest, NumberPopupTogglesMembershipAndKeepPitchAndShowsTheFilesInformation) {
    addWav("info.wav", 11025, 1, 11025, 8);
    m_window.show();
    QMenu* popup = m_window.trackPopup();
    QAction* wavInfo = m_window.menuItem("mnuWavInfo");
    QAction* member = m_window.menuItem("mnuOokami");
    QAction* keepPitch = m_window.menuItem("mnuKeepPitch");
    const auto openPopup = [&] {
        QTest::mouseClick(frame(3).trackNumberLabel, Qt::RightButton);
        return QTest::qWaitFor([popup] { return popup->isVisible(); });
    };
    ASSERT_TRUE(openPopup());
    EXPECT_FALSE(wavInfo->isEnabled()) << "an empty track has no file to describe";
    popup->hide();

    load(3, "info.wav");
    for (const bool expected : {true, false}) {
        for (QAction* item : {member, keepPitch}) {
            ASSERT_TRUE(openPopup());
            EXPECT_EQ(item->isChecked(), !expected);
            QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(item).center());
        }
        EXPECT_EQ(std::make_tuple(bank().track(3).loneWolf(), bank().track(3).keepsPitch(),
                                  frame(3).keepPitchButton->isChecked()),
                  std::make_tuple(expected, expected, expected));
    }

    bank().setLoneWolfMember(3, true);
    QStringList seen;
    m_platform.modals.inspect = [&seen](QDialog& dialog) {
        auto& info = dynamic_cast<WavInfoWindow&>(dialog);
        seen << info.windowTitle() << info.fileNameLabel->text() << info.sizeLabel->text()
             << info.infoLabel->text() << info.loneWolfMemberLabel->text();
        return 1;
    };
    ASSERT_TRUE(openPopup());
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(wavInfo).center());
    EXPECT_EQ(seen, QStringList({"WAVファイル情報 - 4トラック",
                                 "ファイル ： " + m_dir.filePath("info.wav"), "サイズ ： 11kB",
                                 "11.025kHz,8ビット,モノラル", "一匹狼： ON"}));
}

} // namespace
} // namespace mt
