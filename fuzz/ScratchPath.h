#pragma once

// A file or folder in /dev/shm that a fuzz target rewrites for each input, named after the
// process so that parallel jobs keep apart, and removed when the run ends normally (libFuzzer
// leaves through exit(), which destroys the target's statics). A run killed from outside still
// leaves it behind.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <unistd.h>

namespace mt::fuzz {

class ScratchPath {
public:
    // `pattern` holds one %1 for the process id: "marrowtune-fuzz-%1.wav".
    explicit ScratchPath(const char* pattern)
        : m_path(QStringLiteral("/dev/shm/") +
                 QString::fromLatin1(pattern).arg(static_cast<qint64>(getpid()))) {}
    ~ScratchPath() {
        if (QFileInfo(m_path).isDir()) {
            QDir(m_path).removeRecursively();
        } else {
            QFile::remove(m_path);
        }
    }
    ScratchPath(const ScratchPath&) = delete;
    ScratchPath& operator=(const ScratchPath&) = delete;

    const QString& path() const noexcept { return m_path; }

private:
    QString m_path;
};

} // namespace mt::fuzz
