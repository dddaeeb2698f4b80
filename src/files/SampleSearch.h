#pragma once

#include "files/SetExtras.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

namespace mt {

// A sound file looked for by its name, and by its size where that is known.
struct WantedSample {
    QString fileName;
    qint64 size = -1; // bytes; -1 any
};

struct SampleSearchOptions {
    // Folder levels below the root that are looked into: 0 the root alone; -1 every level.
    int depth = -1;
    // Set from any thread to stop the search; it returns what it found so far.
    const std::atomic<bool>* cancel = nullptr;
    // Called every few hundred entries with the count of entries seen so far.
    std::function<void(qint64 seen)> progress;
};

// Every regular file under `root` whose name is a wanted sample's (compared as the file
// system does, case and all) and whose size is the wanted size when one is given: the
// candidates of wanted[i] are result[i], absolute, in the order met. One walk for all of them.
// A folder reached twice (a link back up the tree, two links to one folder) is walked once, so
// a loop of links ends; a folder that cannot be read is passed over. Any thread.
std::vector<QStringList> SearchSamples(const QString& root, const std::vector<WantedSample>& wanted,
                                       const SampleSearchOptions& options = {});

// A file a set stored that is not where it was.
struct MovedSample {
    QString storedPath;
    FileHint hint;
};

// Where each of `moved` is now: the companion's relative path from `setFolder` when a file of
// the right size is there; else the one file of its name (and size, where known) within two
// levels of `setFolder`; else the one within two levels of each of `relinkFolders` in turn. ""
// when there is none, or several at the first place that has any: that is the performer's
// choice to make. One walk of each place for all of them.
std::vector<QString> FindMovedSamples(const std::vector<MovedSample>& moved,
                                      const QString& setFolder, const QStringList& relinkFolders);

// The hint a save records for a track's file at `path` in a set saved to `setPath`; none for
// "" or a file that is not there.
FileHint HintFor(const QString& path, const QString& setPath);

} // namespace mt
