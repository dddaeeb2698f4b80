#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace mt::test {

// A small tmpfs mounted on a temporary folder, for writes that meet a full disk. Mounting
// needs root (CI runs as root); elsewhere `mounted()` is false and `why()` says so, for the
// test's skip line.
class SmallTmpfs {
public:
    explicit SmallTmpfs(int kibibytes) {
        if (::geteuid() != 0) {
            m_why = "needs root to mount a small tmpfs (CI runs as root)";
            return;
        }
        const std::string options = "size=" + std::to_string(kibibytes) + "k";
        if (::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                    options.c_str()) != 0) {
            m_why = std::string("could not mount a tmpfs: ") + std::strerror(errno);
            return;
        }
        m_mounted = true;
    }
    ~SmallTmpfs() {
        if (m_mounted) {
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
        }
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& why() const { return m_why; }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Fills what is left of the file system with one file, so the next write of any size
    // fails for lack of space.
    void fill() {
        QFile filler(filePath(QStringLiteral(".filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            return;
        }
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        const QByteArray byte(1, 'f');
        while (filler.write(byte) == 1) {
        }
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    std::string m_why;
};

} // namespace mt::test
