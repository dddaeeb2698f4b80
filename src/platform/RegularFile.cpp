#include "platform/RegularFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mt {

bool OpenRegularFileForReading(QFile& file) {
    if (file.isOpen()) {
        file.close();
    }
    const QByteArray name = QFile::encodeName(file.fileName());
    if (name.isEmpty()) {
        return false;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    // Regular files ignore the flag, but reads should behave as on any file opened normally.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace mt
