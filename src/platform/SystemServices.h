#pragma once

#include <QString>
#include <QStringList>

namespace mt {

// Moves files to the desktop's trash instead of deleting them.
class TrashService {
public:
    virtual ~TrashService() = default;
    // UI thread only. True only when the file really went to the trash.
    virtual bool moveToTrash(const QString& path) = 0;
};

// Starts other programs. The program and its arguments are passed as they are, never through
// a shell, so a file name can hold any character.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // UI thread only. Returns at once; true when the program was started.
    virtual bool start(const QString& program, const QStringList& arguments) = 0;
};

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // UI thread only. Hands the address to the desktop's browser; true when it was accepted.
    virtual bool open(const QString& url) = 0;
};

} // namespace mt
