// The desktop services tests do not replace: the settings file and the trash.
#include "platform/DesktopServices.h"
#include "platform/IniSettingsStore.h"
#include "support/WavBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mt {
namespace {

TEST(IniSettingsStore, KeysMatchWithoutRegardToCaseAndEveryValueSurvivesAReopen) {
    QTemporaryDir dir;
    {
        IniSettingsStore store(dir.path());
        EXPECT_FALSE(store.value("marrowtune", "Info", "QuBit").has_value());
        store.setValue("marrowtune", "Info", "Qubit", "8");
        EXPECT_EQ(store.value("marrowtune", "Info", "QuBit"), QString("8"));
        EXPECT_EQ(store.value("marrowtune", "info", "QUBIT"), QString("8"));
        // Writing under another case replaces the one value instead of adding a second.
        store.setValue("marrowtune", "INFO", "QuBit", "16");
        EXPECT_EQ(store.value("marrowtune", "Info", "qubit"), QString("16"));
        store.setValue("marrowtune", "Info", "Path", "/home/me/音/サンプル, 1.wav");
        store.setValue("other", "Info", "Path", "x");
        store.setValue("marrowtune", "Info", "Flag", "True");
    }
    QFile file(dir.filePath("marrowtune.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_EQ(std::make_tuple(text.count("=16"), text.count("=8"), text.count("[Info]")),
              std::make_tuple(1, 0, 1));
    IniSettingsStore store(dir.path());
    EXPECT_EQ(store.value("marrowtune", "Info", "path"), QString("/home/me/音/サンプル, 1.wav"));
    EXPECT_EQ(store.value("other", "Info", "Path"), QString("x"));
    EXPECT_EQ(store.value("marrowtune", "Info", "Flag"), QString("True"));
}

// Points the user's data folder at a temporary one that does not exist yet: the trash must
// create it rather than quietly trashing into the working folder.
TEST(DesktopTrash, MovesTheFileIntoTheUsersTrash) {
    QTemporaryDir home;
    const QString dataHome = home.filePath("data-not-yet-there");
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    const auto restore = qScopeGuard(
        [&old] { old.isEmpty() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", old); });
    qputenv("XDG_DATA_HOME", dataHome.toUtf8());

    const QString file = home.filePath("キック 01.wav");
    ASSERT_TRUE(test::WriteFile(file, "RIFF"));
    DesktopTrash trash;
    EXPECT_TRUE(trash.moveToTrash(file));
    EXPECT_TRUE(!QFileInfo::exists(file) &&
                QFileInfo::exists(dataHome + "/Trash/files/キック 01.wav"));
    EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + "/files/キック 01.wav"));

    EXPECT_FALSE(trash.moveToTrash(home.filePath("missing.wav")));
}

} // namespace
} // namespace mt
