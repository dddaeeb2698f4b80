// The waveform editor's round trip on a real bank over an offline output, with a stage that
// logs what is asked of the devices and the wait window and answers from a script.
#include "core/EditorRoundTrip.h"
#include "core/BankLoader.h"
#include "support/OfflineBank.h"
#include "support/TrackLoads.h"
#include "support/WavBytes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace mt {
namespace {

using Outcome = EditorRoundTrip::Outcome;

struct ScriptedStage final : EditorRoundTrip::Stage {
    void pausePlayers() override { log += "pause "; }
    void closeSound() override { log += "close "; }
    bool openSound() override { return log += "open ", true; }
    void soundReloaded() override { log += "reloaded"; }
    bool waitForEditor() override {
        log += "wait ";
        if (whileWaiting) {
            whileWaiting();
        }
        return next(backs);
    }
    bool confirmEnd() override { return log += "confirm ", next(confirms); }
    void endProgram() override { log += "end"; }
    static bool next(std::deque<bool>& answers) {
        const bool answer = answers.empty() || answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return answer;
    }

    std::string log;
    std::deque<bool> backs, confirms; // empty: back, confirmed
    std::function<void()> whileWaiting;
};

class EditorRoundTripTest : public ::testing::Test, protected test::OfflineBank {
protected:
    EditorRoundTripTest() {
        m_track = m_dir.filePath("my kick.wav");
        test::WriteFile(m_track, test::PcmWav(2, 44100, 16, 44100 * 4));
        EXPECT_EQ(bank.assign(0, m_track), TrackBank::Assigned::Ok);
        EXPECT_TRUE(test::WaitForLoads(bank));
        bank.selectedTrack = 0;
    }

    QTemporaryDir m_dir;
    QString m_track;
    std::vector<QString> told;
    BankLoader loader{bank, m_sound, [this](const QString& text) { told.push_back(text); }};
    test::RecordingLauncher launcher;
    test::CountingCursor cursor;
    ScriptedStage stage;
    EditorRoundTrip editor{bank,   loader, launcher,
                           cursor, stage,  [this](const QString& text) { told.push_back(text); }};
};

// While the editor has the file the track holds no sound; back, it plays the edited file.
TEST_F(EditorRoundTripTest, TheTrackLetsGoWhileTheEditorRunsAndComesBackEdited) {
    stage.whileWaiting = [this] {
        EXPECT_FALSE(bank.track(0).loaded || bank.track(0).loading());
        test::WriteFile(m_track, test::PcmWav(2, 44100, 16, 22050 * 4)); // half a second
    };
    EXPECT_EQ(editor.edit(QStringLiteral("/opt/edit tool")), Outcome::Edited);
    EXPECT_TRUE(test::WaitForLoads(bank));
    EXPECT_EQ(stage.log, "pause close wait open reloaded");
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0].second, QStringList{m_track}) << "one argument";
    EXPECT_TRUE(bank.track(0).loaded);
    EXPECT_EQ(bank.track(0).length44k, 22050.0f);
    EXPECT_EQ(cursor.depth, 0);
    EXPECT_TRUE(told.empty());
}

TEST_F(EditorRoundTripTest, WhatEndsTheRoundTripEarlyOrEndsTheProgram) {
    const QString noEditor = QStringLiteral("波形編集ソフトが指定されていません。設定 - 参照設定 "
                                            "で使いたい波形編集ソフトを指定してください");
    const QString failed =
        QStringLiteral("波形編集ソフトが開けません、参照設定を正しく行ってください。");
    const struct {
        int selected;
        const char* editor;
        bool starts;
        std::deque<bool> backs, confirms;
        Outcome outcome;
        const char* log;
        QString told;
    } cases[] = {
        {-1, "/bin/ed", true, {}, {}, Outcome::NothingSelected, "", {}},
        {0, "", true, {}, {}, Outcome::NoEditor, "", noEditor},
        {0, "/bin/ed", false, {}, {}, Outcome::EditorFailed, "pause close open reloaded", failed},
        // Ending, cancelled at the question, goes back to waiting; confirmed, the device
        // stays closed.
        {0,
         "/bin/ed",
         true,
         {false, true},
         {false},
         Outcome::Edited,
         "pause close wait confirm wait open reloaded",
         {}},
        {0,
         "/bin/ed",
         true,
         {false},
         {true},
         Outcome::ProgramEnded,
         "pause close wait confirm end",
         {}},
    };
    for (const auto& c : cases) {
        bank.selectedTrack = static_cast<std::int16_t>(c.selected);
        launcher.succeed = c.starts;
        stage.log.clear();
        stage.backs = c.backs;
        stage.confirms = c.confirms;
        told.clear();
        EXPECT_EQ(editor.edit(QLatin1String(c.editor)), c.outcome) << c.log;
        EXPECT_TRUE(test::WaitForLoads(bank));
        EXPECT_EQ(stage.log, c.log);
        EXPECT_EQ(told, c.told.isNull() ? std::vector<QString>{} : std::vector<QString>{c.told});
        EXPECT_EQ(bank.track(0).loaded, c.outcome != Outcome::ProgramEnded) << c.log;
        EXPECT_EQ(cursor.depth, 0) << c.log;
    }
    EXPECT_EQ(cursor.waits, 6) << "none without a selected track, a second one while reloading";
}

} // namespace
} // namespace mt
