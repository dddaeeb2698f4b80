#include "files/CollectSet.h"

#include "platform/RegularFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace mt {
namespace {

// Bytes read and written at a time: large enough for a disk's pace, small enough for a
// progress bar that moves and a cancel that is felt at once.
constexpr qint64 kChunkBytes = qint64{1} << 20;
// NumberedName's numbers tried before a folder counts as refusing every name.
constexpr int kMaxNumber = 10000;

bool SameBytes(const QString& a, const QString& b) {
    QFile first(a), second(b);
    if (!OpenRegularFileForReading(first) || !OpenRegularFileForReading(second) ||
        first.size() != second.size()) {
        return false;
    }
    while (!first.atEnd()) {
        const QByteArray chunk = first.read(kChunkBytes);
        if (chunk.isEmpty() || second.read(chunk.size()) != chunk) {
            return false;
        }
    }
    return true;
}

// Renames `from` to `to` unless `to` is there: 0, or the errno (EEXIST when it is there).
int RenameWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without the flag: a hard link refuses an existing name just the same.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        return errno;
    }
    // Nor links (FAT): checked, then renamed, as close together as this allows.
    if (::access(target.constData(), F_OK) == 0) {
        return EEXIST;
    }
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
}

// One copy of RunCollect; `copied` counts on across the copies.
bool CopyWhole(CollectPlan::Copy& copy, const CollectOptions& options, qint64& copied,
               QString* error) {
    QFile source(copy.source);
    if (!OpenRegularFileForReading(source)) {
        *error =
            QCoreApplication::translate("mt::CollectSet", "%1 を読み込めません。").arg(copy.source);
        return false;
    }
    const QString folder = QFileInfo(copy.target).absolutePath();
    // Removed by its destructor unless it became the copy.
    QTemporaryFile temporary(folder + QStringLiteral("/.marrowtune-collect-XXXXXX"));
    if (!temporary.open()) {
        *error = QCoreApplication::translate("mt::CollectSet", "%1 にファイルを作成できません。")
                     .arg(folder) +
                 temporary.errorString();
        return false;
    }
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    for (;;) {
        if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) {
            *error = QCoreApplication::translate("mt::CollectSet", "中止しました。");
            return false;
        }
        const qint64 read = source.read(chunk.data(), chunk.size());
        if (read < 0) {
            *error = QCoreApplication::translate("mt::CollectSet", "%1 を読み込めません。")
                         .arg(copy.source) +
                     source.errorString();
            return false;
        }
        if (read == 0) {
            break;
        }
        if (temporary.write(chunk.constData(), read) != read) {
            *error =
                QCoreApplication::translate("mt::CollectSet", "%1 に書き込めません。").arg(folder) +
                temporary.errorString();
            return false;
        }
        copied += read;
        if (options.progress) {
            options.progress(copied);
        }
    }
    // Whole on disk before it takes the name: a crash never leaves a short copy under it.
    if (!temporary.flush() || ::fsync(temporary.handle()) != 0 ||
        !temporary.setPermissions(source.permissions() | QFileDevice::WriteOwner)) {
        *error =
            QCoreApplication::translate("mt::CollectSet", "%1 に書き込めません。").arg(folder) +
            temporary.errorString();
        return false;
    }
    temporary.close();
    const QString name = QFileInfo(copy.source).fileName();
    for (int n = 1; n <= kMaxNumber; ++n) {
        const QString target = n == 1 && !copy.target.isEmpty()
                                   ? copy.target
                                   : folder + QLatin1Char('/') + NumberedName(name, n);
        const int failed = RenameWithoutReplacing(temporary.fileName(), target);
        if (failed == 0) {
            temporary.setAutoRemove(false);
            copy.target = target;
            return true;
        }
        if (failed != EEXIST) {
            *error =
                QCoreApplication::translate("mt::CollectSet", "%1 を作成できません。").arg(target) +
                QString::fromLocal8Bit(std::strerror(failed));
            return false;
        }
    }
    *error = QCoreApplication::translate("mt::CollectSet", "%1 に空いている名前がありません。")
                 .arg(folder);
    return false;
}

} // namespace

QString CollectFolder(const QString& setPath) {
    const QFileInfo set(setPath);
    return set.absolutePath() + QLatin1Char('/') + set.completeBaseName() +
           QStringLiteral(" samples");
}

QString NumberedName(const QString& fileName, int n) {
    if (n == 1) {
        return fileName;
    }
    const QString number = QStringLiteral(" (%1)").arg(n);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? fileName.left(dot) + number + fileName.mid(dot) : fileName + number;
}

CollectPlan PlanCollect(const std::vector<QString>& sources, const QString& folder) {
    CollectPlan plan;
    plan.targets.resize(sources.size());
    const QString place = QDir::cleanPath(QDir(folder).absolutePath());
    const QString canonicalPlace = QFileInfo(place).canonicalFilePath(); // "" while not there
    QHash<QString, QString> targetOf; // a source by its canonical path: where it goes
    QSet<QString> planned;            // the targets of copies, not there yet
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].isEmpty()) {
            continue;
        }
        const QFileInfo source(sources[i]);
        if (!source.isFile()) {
            CollectPlan none;
            none.error = QCoreApplication::translate(
                             "mt::CollectSet", "%1 が見つからないため、まとめて保存できません。")
                             .arg(sources[i]);
            return none;
        }
        const QString key = source.canonicalFilePath();
        QString& target = targetOf[key];
        if (target.isEmpty() && !canonicalPlace.isEmpty() &&
            QFileInfo(source.absolutePath()).canonicalFilePath() == canonicalPlace) {
            target = source.absoluteFilePath();
        }
        for (int n = 1; target.isEmpty(); ++n) {
            const QString candidate = place + QLatin1Char('/') + NumberedName(source.fileName(), n);
            if (planned.contains(candidate)) {
                continue;
            }
            const QFileInfo there(candidate);
            if (!there.exists() && !there.isSymLink()) {
                planned.insert(candidate);
                plan.copies.push_back({source.absoluteFilePath(), candidate, source.size()});
                plan.bytes += source.size();
                target = candidate;
            } else if (SameBytes(source.absoluteFilePath(), candidate)) {
                target = candidate;
            }
        }
        plan.targets[i] = target;
    }
    return plan;
}

bool RunCollect(CollectPlan& plan, const CollectOptions& options, QString* error) {
    qint64 copied = 0;
    if (options.progress) {
        options.progress(copied);
    }
    QHash<QString, QString> moved; // a copy that took another name than planned: planned, taken
    for (CollectPlan::Copy& copy : plan.copies) {
        const QString folder = QFileInfo(copy.target).absolutePath();
        if (!QDir().mkpath(folder)) {
            *error = QCoreApplication::translate("mt::CollectSet", "フォルダ %1 を作成できません。")
                         .arg(folder);
            return false;
        }
        const QString planned = copy.target;
        if (!CopyWhole(copy, options, copied, error)) {
            return false;
        }
        if (copy.target != planned) {
            moved.insert(planned, copy.target);
        }
    }
    for (QString& target : plan.targets) {
        target = moved.value(target, target);
    }
    return true;
}

} // namespace mt
