#include "files/SampleSearch.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <sys/stat.h>

#include <deque>
#include <utility>

namespace mt {
namespace {

// Progress is told after this many entries: often enough for a bar, rarely enough to cost
// nothing beside the walk.
constexpr qint64 kProgressEvery = 512;

// The folder's identity on its file system: a folder reached again by another name is the
// same pair.
using FolderId = std::pair<quint64, quint64>;

bool IdOf(const QString& path, FolderId& id) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    id = {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
    return true;
}

// The one file that fits, or "" for none or several.
QString Single(const QStringList& candidates) {
    return candidates.size() == 1 ? candidates.front() : QString();
}

} // namespace

std::vector<QStringList> SearchSamples(const QString& root, const std::vector<WantedSample>& wanted,
                                       const SampleSearchOptions& options) {
    std::vector<QStringList> found(wanted.size());
    QHash<QString, std::vector<std::size_t>> byName;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        byName[wanted[i].fileName].push_back(i);
    }
    if (byName.isEmpty()) {
        return found;
    }
    QSet<FolderId> seen;
    // Breadth first, so a file near the root is met before one deep below it.
    std::deque<std::pair<QString, int>> folders{{QDir(root).absolutePath(), 0}};
    qint64 entries = 0;
    while (!folders.empty()) {
        if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) {
            break;
        }
        auto [folder, level] = std::move(folders.front());
        folders.pop_front();
        FolderId id;
        if (!IdOf(folder, id) || seen.contains(id)) {
            continue;
        }
        seen.insert(id);
        QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden |
                                    QDir::System);
        while (it.hasNext()) {
            const QFileInfo info = it.nextFileInfo();
            if (++entries % kProgressEvery == 0) {
                if (options.progress) {
                    options.progress(entries);
                }
                if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed)) {
                    break;
                }
            }
            if (info.isDir()) {
                if (options.depth < 0 || level < options.depth) {
                    folders.emplace_back(info.absoluteFilePath(), level + 1);
                }
                continue;
            }
            const auto match = byName.constFind(info.fileName());
            if (match == byName.cend() || !info.isFile()) {
                continue;
            }
            for (const std::size_t i : *match) {
                if (wanted[i].size < 0 || wanted[i].size == info.size()) {
                    found[i].append(info.absoluteFilePath());
                }
            }
        }
    }
    if (options.progress) {
        options.progress(entries);
    }
    return found;
}

std::vector<QString> FindMovedSamples(const std::vector<MovedSample>& moved,
                                      const QString& setFolder, const QStringList& relinkFolders) {
    std::vector<QString> found(moved.size());
    std::vector<bool> settled(moved.size(), false);
    std::vector<WantedSample> wanted(moved.size());
    for (std::size_t i = 0; i < moved.size(); ++i) {
        const FileHint& hint = moved[i].hint;
        if (!hint.relativePath.isEmpty() && !setFolder.isEmpty()) {
            const QFileInfo beside(QDir(setFolder).absoluteFilePath(hint.relativePath));
            if (beside.isFile() && (hint.size < 0 || beside.size() == hint.size)) {
                found[i] = QDir::cleanPath(beside.absoluteFilePath());
                settled[i] = true;
                continue;
            }
        }
        // The stored path may have been written on another system: its name is after the last
        // separator of either kind.
        wanted[i] = {
            moved[i].storedPath.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1),
            hint.size};
        settled[i] = wanted[i].fileName.isEmpty();
    }
    QStringList places;
    if (!setFolder.isEmpty()) {
        places.append(setFolder);
    }
    places.append(relinkFolders);
    for (const QString& place : places) {
        std::vector<WantedSample> open(moved.size());
        bool any = false;
        for (std::size_t i = 0; i < moved.size(); ++i) {
            if (!settled[i]) {
                open[i] = wanted[i];
                any = true;
            }
        }
        if (!any) {
            break;
        }
        const std::vector<QStringList> candidates = SearchSamples(place, open, {2, nullptr, {}});
        for (std::size_t i = 0; i < moved.size(); ++i) {
            if (!settled[i] && !candidates[i].isEmpty()) {
                found[i] = Single(candidates[i]);
                settled[i] = true;
            }
        }
    }
    return found;
}

FileHint HintFor(const QString& path, const QString& setPath) {
    const QFileInfo file(path);
    if (path.isEmpty() || !file.isFile()) {
        return {};
    }
    FileHint hint;
    hint.size = file.size();
    if (!setPath.isEmpty()) {
        hint.relativePath =
            QFileInfo(setPath).absoluteDir().relativeFilePath(file.absoluteFilePath());
    }
    return hint;
}

} // namespace mt
