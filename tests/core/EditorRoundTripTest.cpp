// The waveform editor's round trip on a real bank over an offline output, with a stage that
// logs what is asked of it and answers the wait and the question from a script.
#include "core/EditorRoundTrip.h"
#include "core/BankLoader.h"
#include "support/OfflineBank.h"
#include "support/TrackLoads.h"
#include "support/WavBytes.h"

#include <gtest/gtest.h>

#include <deque>

namespace mt {
namespace {

using Outcome = EditorRoundTrip::Outcome;

// The fixture is the stage: it logs what is asked of it and answers the wait (back from the
// editor?) and the question (end the program?) from a script, yes when it runs out.
class EditorRoundTripTest : public ::testing::Test,
                            protected test::OfflineBank,
                            protected EditorRoundTrip::Stage {
protected:
    EditorRoundTripTest() {
        test::WriteFile(m_track, test::PcmWav(2, 44100, 16, 44100 * 4));
        EXPECT_EQ(bank.assign(0, m_track), TrackBank::Assigned::Ok);
        EXPECT_TRUE(test::WaitForLoads(bank));
    }
    void pausePlayers() override { log += "pause "; }
    void closeSound() override { log += "close "; }
    bool openSound() override { return log += "open ", true; }
    void soundReloaded() override { log += "reloaded"; }
    bool waitForEditor() override {
        EXPECT_FALSE(bank.track(0).loaded || bank.track(0).loading()) << "the editor has it";
        test::WriteFile(m_track, test::PcmWav(2, 44100, 16, 22050 * 4)); // now half a second
        return log += "wait ", next();
    }
    bool confirmEnd() override { return log += "confirm ", next(); }
    void endProgram() override { log += "end"; }
    bool next() {
        const bool yes = answers.empty() || answers.front();
        answers.empty() ? void() : answers.pop_front();
        return yes;
    }

    QString m_track = m_dir.filePath("my kick.wav");
    std::string log;
    std::deque<bool> answers;
    std::vector<QString> told;
    BankLoader::Tell tell = [this](const QString& text) { told.push_back(text); };
    BankLoader loader{bank, m_sound, tell};
    test::RecordingLauncher launcher;
    test::CountingCursor cursor;
    EditorRoundTrip editor{bank, loader, launcher, cursor, tell};
};

// While the editor has the file the track holds no sound; back, it plays the edited file.
TEST_F(EditorRoundTripTest, TheTrackComesBackEditedUnlessTheRoundTripEndsEarly) {
    const QString noEditor = QStringLiteral("波形編集ソフトが指定されていません。設定 - 参照設定 "
                                            "で使いたい波形編集ソフトを指定してください");
    const QString failed =
        QStringLiteral("波形編集ソフトが開けません、参照設定を正しく行ってください。");
    using enum EditorRoundTrip::Outcome;
    const struct {
        int selected;
        const char* editor; // "broken" does not start
        std::deque<bool> answers;
        Outcome outcome;
        const char* log;
        QString told;
    } cases[] = {
        {0, "ed", {}, Edited, "pause close wait open reloaded", {}},
        {-1, "ed", {}, NothingSelected, "", {}},
        {0, "", {}, NoEditor, "", noEditor},
        {0, "broken", {}, EditorFailed, "pause close open reloaded", failed},
        // Ending, cancelled at the question, goes back to waiting; confirmed, the device
        // stays closed.
        {0, "ed", {false, false, true}, Edited, "pause close wait confirm wait open reloaded", {}},
        {0, "ed", {false, true}, ProgramEnded, "pause close wait confirm end", {}},
    };
    for (const auto& c : cases) {
        bank.select(c.selected);
        launcher.succeed = QLatin1String(c.editor) != QLatin1String("broken");
        log.clear();
        answers = c.answers;
        told.clear();
        EXPECT_EQ(editor.edit(QLatin1String(c.editor), *this), c.outcome) << c.log;
        EXPECT_TRUE(test::WaitForLoads(bank));
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(told, c.told.isNull() ? std::vector<QString>{} : std::vector<QString>{c.told});
        EXPECT_EQ(bank.track(0).loaded, c.outcome != ProgramEnded) << c.log;
        EXPECT_EQ(cursor.depth, 0) << c.log;
    }
    EXPECT_EQ(launcher.started[0].second, QStringList{m_track}) << "one argument";
    EXPECT_EQ(bank.track(0).length44k, 22050.0f);
    EXPECT_EQ(cursor.waits, 8) << "none without a selected track, a second one while reloading";
}

} // namespace
} // namespace mt
