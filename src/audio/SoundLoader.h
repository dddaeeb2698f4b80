#pragma once

#include "audio/SampleBuffer.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace mt {

// The loader thread: one worker that decodes sound files and renders sounds from others, one
// job at a time in the order they were asked for, and hands each result back to the thread that
// made the loader, through its event loop. A job can be cancelled at any time: queued, it never
// runs; running, it stops at its next chunk; finished, its result is dropped. Results are handed
// over one at a time: one that comes while another's callback runs (a message box's own event loop)
// waits for it to return. An empty path decodes nothing and ends in its turn (null, no reason).
// Every method is for the thread that made the loader (the UI thread) and returns at once; none
// waits for a decode.
class SoundLoader {
public:
    using JobId = std::uint64_t;
    // The percentage decoded, only for a job running past kQuietMs.
    using Progress = std::function<void(int percent)>;
    // The decoded samples, or null with the reason DecodeSoundFile gave.
    using Done = std::function<void(std::unique_ptr<SampleBuffer> samples, const QString& reason)>;
    // A job's work on the worker: the samples it makes, or null with the reason; `progress`
    // takes the share done and says false once the job is cancelled, when the work stops.
    using Work = std::function<std::unique_ptr<SampleBuffer>(
        const std::function<bool(double fraction)>& progress, QString& reason)>;

    // A load shorter than this shows no progress (milliseconds).
    static constexpr int kQuietMs = 200;

    SoundLoader();
    // Cancels every job; waits only for the running one to reach its next chunk.
    ~SoundLoader();
    SoundLoader(const SoundLoader&) = delete;
    SoundLoader& operator=(const SoundLoader&) = delete;

    // Queues the file at `path`. `done` comes once, later, unless the job is cancelled first;
    // `progress` may come before it. Never 0.
    JobId start(const QString& path, Progress progress, Done done);
    // As start, for samples `work` makes. What it holds is let go on the worker, or here when
    // the job is cancelled before it runs.
    JobId start(Work work, Progress progress, Done done);
    // After this neither of the job's callbacks comes. Unknown or finished jobs are ignored.
    void cancel(JobId job);

private:
    struct Job {
        JobId id = 0;
        Work work;
    };
    struct Callbacks {
        Progress progress;
        Done done;
    };

    // What the worker hands over: a progress report (no samples, `percent` >= 0) or a result.
    struct Report {
        JobId job = 0;
        int percent = -1;
        std::unique_ptr<SampleBuffer> samples;
        QString reason;
    };
    // Wakes the owner thread, through its event loop, to take the reports.
    class Receiver final : public QObject {
    public:
        explicit Receiver(SoundLoader& loader) : m_loader(loader) {}

    protected:
        void customEvent(QEvent*) override { m_loader.deliver(); }

    private:
        SoundLoader& m_loader;
    };

    void run();
    void decode(const Job& job);
    void report(Report report);
    void deliver();

    // Owner thread only.
    JobId m_lastId = 0;
    std::unordered_map<JobId, Callbacks> m_callbacks;
    bool m_delivering = false; // a callback runs; reports that come meanwhile wait for it
    // Wake-ups still queued when it goes are dropped with it.
    Receiver m_receiver{*this};

    std::mutex m_mutex; // guards the two queues, m_running and m_stopping
    std::condition_variable m_wake;
    std::deque<Job> m_queue;
    std::deque<Report> m_reports; // in the order made
    JobId m_running = 0;
    bool m_stopping = false;
    std::atomic<bool> m_abandonRunning{false};

    std::thread m_worker; // last: starts once everything above is built
};

} // namespace mt
