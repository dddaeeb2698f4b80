#pragma once

#include "files/RecoveryFile.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class QLockFile;
class QTimer;

namespace mt {

class MessageBoxService;
class Performance;

// Keeps a recovery copy of the bank while it has unsaved changes, so that a crash, a kill or a
// power cut loses at most the last kDelayMs of them: the copy (RecoveryFile) is made
// kDelayMs after the first edit since the last one, never more often, and removed once the bank
// equals its file again (saved, opened, new) and at a clean end. The bytes are taken on the UI
// thread; the file is written, whole or not at all (WriteFileWhole), on a thread of the
// keeper's own, so a slow disk never holds up a key. One running program keeps copies in a
// folder (a lock file there); a second one finds it taken and keeps none. UI thread only.
class RecoveryKeeper final : public QObject {
    Q_OBJECT

public:
    static constexpr int kDelayMs = 3000;

    // Copies of `performance`'s bank in `folder`, made once start() has taken the folder.
    RecoveryKeeper(Performance& performance, QString folder);
    ~RecoveryKeeper() override;
    RecoveryKeeper(const RecoveryKeeper&) = delete;
    RecoveryKeeper& operator=(const RecoveryKeeper&) = delete;

    // The program's data folder's "recovery" folder (XDG_DATA_HOME's, for the application).
    static QString DefaultFolder();

    // What a run that did not end cleanly left in the folder.
    enum class Left { None, Copy, Damaged };
    struct Found {
        Left left = Left::None;
        RecoveryCopy copy; // for Copy
    };
    // Takes the folder for this program (false in `taken` when another running one has it:
    // then nothing is kept and nothing is found) and says what it holds. A damaged copy is
    // removed here: it can never be opened.
    Found start(bool* taken = nullptr);
    // The copy found is not wanted: removed. A copy of this run's own edits is unaffected.
    void discardFound();
    // start(), then what was found put to the performer: a copy is offered once (yes opens it as
    // a changed bank under its set's name, no removes it); a damaged one is told once. True
    // when a copy was opened.
    bool startAndOffer(MessageBoxService& messages);
    // The program ends with the performer's consent to what it throws away: no copy stays.
    // Waits for the writer thread.
    void endCleanly();

    // The file the copy lives in.
    QString copyPath() const;

private:
    void edited();
    void write();
    // Hands the writer the bytes to put in place, or nullopt to remove the copy; a job not yet
    // begun is replaced by a later one.
    void post(std::optional<QByteArray> job);
    void run();

    Performance& m_performance;
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QTimer* m_delay;
    bool m_keeping = false;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<std::optional<QByteArray>> m_job; // guarded by m_mutex
    bool m_stop = false;                            // guarded by m_mutex
    std::thread m_writer;
};

} // namespace mt
