// The program under a session manager, without windows: the bank and its document on the real
// sound library over an offline output, the session glue and its OSC client, and a fake manager
// on 127.0.0.1 that the client announces itself to and that sends the requests.
#include "FakeSessionManager.h"
#include "app/SessionGlue.h"
#include "app/SessionMessages.h"
#include "core/Performance.h"
#include "core/ReferenceBar.h"
#include "core/TapClock.h"
#include "support/OfflineBank.h"
#include "support/PerformanceDoubles.h"
#include "support/WavBytes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <functional>

namespace mt {
namespace {

using test::FixedBar;
using test::StillClock;

// Root writes into folders whatever their permissions say; for as long as this lives the
// calling thread does not (its effective CAP_DAC_OVERRIDE is set aside, then restored).
class FolderPermissionsBind {
public:
    FolderPermissionsBind() {
        if (geteuid() != 0 || syscall(SYS_capget, &m_header, m_saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        m_dropped = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~FolderPermissionsBind() {
        if (m_dropped) {
            syscall(SYS_capset, &m_header, m_saved);
        }
    }
    FolderPermissionsBind(const FolderPermissionsBind&) = delete;
    FolderPermissionsBind& operator=(const FolderPermissionsBind&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

class SessionTest : public test::OfflineBank, public ::testing::Test {
protected:
    SessionTest() {
        performance.setSaveQuestion([](const QString& title) {
            ADD_FAILURE() << "asked about " << title.toStdString();
            return SaveAnswer::Cancel;
        });
        performance.newBank();
        glue.showWindow = [this](bool shown) { windowShown.push_back(shown); };
    }
    // Started and welcomed, as the program is before the manager's first open.
    void start(bool managerShowsWindows = true) {
        ASSERT_TRUE(glue.start(manager.url(), "/usr/bin/marrowtune"));
        ASSERT_EQ(manager.next("/nsm/server/announce"),
                  QStringList({"/nsm/server/announce", "Marrowtune",
                               ":switch:dirty:optional-gui:", "/usr/bin/marrowtune", "1", "2",
                               QString::number(QCoreApplication::applicationPid())}));
        manager.welcome(managerShowsWindows);
        ASSERT_FALSE(manager.next("/nsm/client/gui_is_shown").isEmpty());
        manager.waitUntil([this] { return !glue.client().managerName().isEmpty(); });
        ASSERT_EQ(glue.client().managerName(), QStringLiteral("Fake Manager"));
    }
    // The manager's request and the program's answer to it: "/reply" or "/error", the path
    // answered, then the message or the code and the message.
    QStringList request(const char* path, const QStringList& arguments = {}) {
        manager.send(path, arguments);
        return manager.next({"/reply", "/error"});
    }
    QStringList open(const QString& folder) {
        return request("/nsm/client/open", {folder, "ライブ", "Marrowtune.nXYZ"});
    }
    QString folder(const QString& name) const { return m_dir.filePath(name); }

    FixedBar midi;
    StillClock clock;
    test::RecordingMessageBoxes questions;
    SessionMessages messages{questions};
    test::ScriptedFileDialogs dialogs;
    test::CountingCursor cursor;
    test::RecordingLauncher launcher;
    Performance performance{m_sound, midi, clock, {messages, dialogs, cursor, launcher}};
    TrackBank& tracks = performance.bank();
    test::FakeSessionManager manager;
    SessionGlue glue{performance, messages};
    std::vector<bool> windowShown;
};

// Open creates the folder and the set in it, edits make the bank dirty and a save clean again;
// a switch to another session and back replaces the bank without a question.
TEST_F(SessionTest, OpenSaveAndSwitchKeepTheSetInTheSessionFolderAndTellItsState) {
    start();
    const QString first = folder("session/Marrowtune.nXYZ");
    EXPECT_EQ(open(first), QStringList({"/reply", "/nsm/client/open", "新しいセットを作りました"}));
    EXPECT_EQ(QDir(first).entryList(QDir::Files), QStringList({"set.mrw", "set.mrwx"}));
    EXPECT_EQ(performance.filePath(), first + "/set.mrw");
    EXPECT_TRUE(performance.canOverwrite()) << "overwrite goes to the session's set";

    tracks.setVolume(2, -12);
    tracks.assign(1, write("kick.wav", test::PcmWav(2, 44100, 16, 400)));
    EXPECT_FALSE(manager.next("/nsm/client/is_dirty").isEmpty());
    EXPECT_EQ(request("/nsm/client/save"),
              QStringList({"/reply", "/nsm/client/save", "保存しました"}));
    EXPECT_FALSE(manager.next("/nsm/client/is_clean").isEmpty());
    EXPECT_TRUE(Bytes(first + "/set.mrw").contains("\r\n-12 \r\n"));
    // The samples live in the session's folder too.
    EXPECT_EQ(tracks.track(1).path, first + "/set samples/kick.wav");
    EXPECT_TRUE(QFile::exists(tracks.track(1).path));

    tracks.setVolume(2, -30); // changed, and never saved: the switch throws it away
    EXPECT_FALSE(manager.next("/nsm/client/is_dirty").isEmpty());
    const QString second = folder("other");
    EXPECT_TRUE(open(second).value(0) == "/reply" && tracks.track(2).volume == 0);
    EXPECT_TRUE(open(first).value(0) == "/reply" && tracks.track(2).volume == -12);
    EXPECT_TRUE(!tracks.changed() && questions.shown.empty());
}

// Only a manager that can show the window again lets it hide; an address that is no UDP one
// leaves the program without a manager.
TEST_F(SessionTest, AManagerThatCannotShowWindowsLeavesTheCloseAsItWas) {
    start(false);
    EXPECT_FALSE(glue.hideInsteadOfClose());
    EXPECT_TRUE(windowShown.empty());
    QString error;
    EXPECT_FALSE(NsmClient().start("osc.tcp://127.0.0.1:1/", "marrowtune", 1, error));
    EXPECT_FALSE(error.isEmpty());
}

// A set that cannot be read is answered as a bad project and never written over, whatever is
// asked after, until an open succeeds; a folder that cannot be written is answered with the
// reason, and the set on disk stays as it was.
TEST_F(SessionTest, WhatCannotBeReadOrWrittenIsAnsweredWithTheReasonAndTheSetKept) {
    start();
    const QString damaged = folder("damaged");
    ASSERT_TRUE(QDir().mkpath(damaged));
    ASSERT_TRUE(test::WriteFile(damaged + "/set.mrw", "no set at all"));
    const QStringList refused = open(damaged);
    ASSERT_EQ(refused.mid(0, 3), QStringList({"/error", "/nsm/client/open", "-9"}));
    EXPECT_TRUE(refused.value(3).contains(damaged + "/set.mrw")) << refused.value(3).toStdString();
    for (int i = 0; i < 2; ++i) {
        tracks.setVolume(0, -6 - i);
        EXPECT_EQ(request("/nsm/client/save").mid(0, 3),
                  QStringList({"/error", "/nsm/client/save", "-9"}));
    }
    EXPECT_EQ(Bytes(damaged + "/set.mrw"), "no set at all");
    EXPECT_EQ(QDir(damaged).entryList(QDir::Files), QStringList({"set.mrw"}));

    const QString writable = folder("writable");
    ASSERT_EQ(open(writable).value(0), "/reply");
    tracks.setVolume(0, -20);
    const QByteArray saved = Bytes(writable + "/set.mrw");
    const QString locked = folder("locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_EQ(chmod(QFile::encodeName(writable).constData(), 0555), 0);
    ASSERT_EQ(chmod(QFile::encodeName(locked).constData(), 0555), 0);
    {
        const FolderPermissionsBind bind;
        const QStringList failed = request("/nsm/client/save");
        ASSERT_EQ(failed.mid(0, 3), QStringList({"/error", "/nsm/client/save", "-1"}));
        EXPECT_TRUE(failed.value(3).startsWith(writable + "/set.mrw に保存できませんでした"))
            << failed.value(3).toStdString();
        EXPECT_EQ(open(locked + "/inner").mid(0, 3),
                  QStringList({"/error", "/nsm/client/open", "-10"}));
        EXPECT_EQ(open(locked).mid(0, 3), QStringList({"/error", "/nsm/client/open", "-10"}));
    }
    EXPECT_EQ(Bytes(writable + "/set.mrw"), saved);
    chmod(QFile::encodeName(writable).constData(), 0755);
    chmod(QFile::encodeName(locked).constData(), 0755);
}

} // namespace
} // namespace mt
