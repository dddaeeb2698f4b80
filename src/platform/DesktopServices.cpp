#include "platform/DesktopServices.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace mt {

bool DesktopTrash::moveToTrash(const QString& path) {
    // Without the data folder Qt quietly "trashes" into ./files; make sure it exists and that
    // the file landed in the real trash.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty() || !QDir().mkpath(dataHome)) {
        return false;
    }
    QString trashedAt;
    if (!QFile::moveToTrash(path, &trashedAt)) {
        return false;
    }
    // The home trash, or a mounted volume's own .Trash-<uid> folder.
    const QDir home(dataHome);
    return trashedAt.startsWith(home.absolutePath() + QStringLiteral("/Trash/")) ||
           trashedAt.startsWith(home.canonicalPath() + QStringLiteral("/Trash/")) ||
           trashedAt.contains(QStringLiteral("/.Trash"));
}

bool DetachedProcessLauncher::start(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

bool DesktopUrlOpener::open(const QString& url) {
    return QDesktopServices::openUrl(QUrl(url));
}

void OverrideCursor::beginWait() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void OverrideCursor::endWait() {
    QGuiApplication::restoreOverrideCursor();
}

} // namespace mt
