#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <vector>

namespace mt {

// The folder a set saved at `setPath` keeps its samples in when collected:
// "<the set's folder>/<the set's name without its suffix> samples".
QString CollectFolder(const QString& setPath);

// `fileName` with " (n)" before its suffix: "kick (2).wav"; `fileName` itself for n = 1.
QString NumberedName(const QString& fileName, int n);

// Where each track's file goes in a collect, and which copies that takes.
struct CollectPlan {
    struct Copy {
        QString source; // absolute
        QString target; // absolute, in the folder; not there when planned
        qint64 bytes = 0;
    };
    // One per source given, in order: the path the track takes; "" for a track without a file.
    std::vector<QString> targets;
    // One per distinct file that is not in the folder yet.
    std::vector<Copy> copies;
    qint64 bytes = 0; // of every copy together
    QString error;    // "" when the plan holds; else why there is none (a file not there)
};

// The plan for `sources` (each track's path, "" none) into `folder`, which need not exist. A
// file keeps its name; a different file of that name already there, or planned for another
// file, gives the copy the next free NumberedName; a file of that name with the same bytes is
// taken as it is; tracks of one file share one copy; a file already in the folder stays where it
// is, so a second collect into the same place copies nothing. A source that is not a regular
// file fails the plan. Reads the files it compares whole. Any thread.
CollectPlan PlanCollect(const std::vector<QString>& sources, const QString& folder);

struct CollectOptions {
    // Set from any thread to stop the copies; the one under way is dropped.
    const std::atomic<bool>* cancel = nullptr;
    // Bytes copied so far of CollectPlan::bytes: once at the start, then after each chunk.
    std::function<void(qint64 copied)> progress;
};

// Makes the plan's folder (when a copy needs it) and its copies, in order. Each copy is written
// to a temporary file in the folder, flushed to disk and renamed to its target only when whole;
// a target that appeared meanwhile is never replaced: the copy takes the next free
// NumberedName, and the plan's targets follow it. The sources are only read. False with a
// reason on the first copy that fails or on a cancel: the copies made before it stay, whole,
// and no temporary file is left. Any thread; blocks for the copies.
bool RunCollect(CollectPlan& plan, const CollectOptions& options, QString* error);

} // namespace mt
