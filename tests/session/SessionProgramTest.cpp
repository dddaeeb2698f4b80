// The built program under a fake session manager on 127.0.0.1, on Qt's offscreen platform with
// a home of its own: it announces itself, opens and saves the set in the session's folder, and
// ends at SIGTERM with its settings written and no question. Its window under the manager:
// SessionWindowTest.
#include "FakeSessionManager.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace mt {
namespace {

TEST(SessionProgram, RunsUnderTheManagerAndEndsAtSigtermWithItsSettingsWritten) {
    QTemporaryDir home;
    test::FakeSessionManager manager;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", home.path());
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        ASSERT_TRUE(QDir(home.path()).mkdir(name));
        QFile::setPermissions(home.filePath(name),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(name, home.filePath(name));
    }
    // No sound server is started for it: none is needed, and none may outlive the test.
    environment.insert("JACK_NO_START_SERVER", "1");
    environment.insert("PULSE_SERVER", "unix:" + home.filePath("no-pulse"));
    environment.insert("NSM_URL", manager.url());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(MT_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted());
    const auto log = [&program] { return program.readAllStandardError().toStdString(); };

    const QStringList announce = manager.next("/nsm/server/announce", 60000);
    ASSERT_EQ(announce.mid(0, 3),
              QStringList({"/nsm/server/announce", "Marrowtune", ":switch:dirty:optional-gui:"}))
        << log();
    EXPECT_EQ(announce.value(6), QString::number(program.processId()));
    manager.welcome();
    const QString folder = home.filePath("session/Marrowtune.nABC");
    manager.send("/nsm/client/open", {folder, "ライブ", "Marrowtune.nABC"});
    EXPECT_EQ(manager.next({"/reply", "/error"}).mid(0, 2),
              QStringList({"/reply", "/nsm/client/open"}))
        << log();
    manager.send("/nsm/client/save");
    EXPECT_EQ(manager.next({"/reply", "/error"}).mid(0, 2),
              QStringList({"/reply", "/nsm/client/save"}));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"set.mrw", "set.mrwx"}));

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(5000)) << log();
    EXPECT_EQ(std::make_pair(program.exitStatus(), program.exitCode()),
              std::make_pair(QProcess::NormalExit, 0))
        << log();
    QFile settings(home.filePath("XDG_CONFIG_HOME/marrowtune.ini"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly)) << log();
    EXPECT_TRUE(settings.readAll().contains("[Info]"));
}

} // namespace
} // namespace mt
