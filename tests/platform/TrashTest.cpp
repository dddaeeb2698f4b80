#include "platform/DesktopServices.h"
#include "support/WavBytes.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mt {
namespace {

// Points the user's data folder at a temporary one that does not exist yet: the trash must
// create it rather than quietly trashing into the working folder.
TEST(DesktopTrash, MovesTheFileIntoTheUsersTrash) {
    QTemporaryDir home;
    const QString dataHome = home.filePath("data-not-yet-there");
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dataHome.toUtf8());

    const QString file = home.filePath("キック 01.wav");
    ASSERT_TRUE(test::WriteFile(file, "RIFF"));
    DesktopTrash trash;
    EXPECT_TRUE(trash.moveToTrash(file));
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_TRUE(QFileInfo::exists(dataHome + "/Trash/files/キック 01.wav"));
    EXPECT_FALSE(QFileInfo::exists(QDir::currentPath() + "/files/キック 01.wav"));

    EXPECT_FALSE(trash.moveToTrash(home.filePath("missing.wav")));
    if (old.isEmpty()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", old);
    }
}

} // namespace
} // namespace mt
