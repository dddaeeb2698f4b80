#include "audio/SoundLoader.h"

#include "audio/WavDecoder.h"

#include <QCoreApplication>
#include <QEvent>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

namespace mt {

SoundLoader::SoundLoader() : m_worker([this] { run(); }) {}

SoundLoader::~SoundLoader() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
        m_abandonRunning = true;
    }
    m_wake.notify_one();
    m_worker.join();
}

SoundLoader::JobId SoundLoader::start(const QString& path, Progress progress, Done done) {
    return start(
        [path](const std::function<bool(double)>& decoded,
               QString& reason) -> std::unique_ptr<SampleBuffer> {
            return path.isEmpty() ? nullptr : DecodeSoundFile(path, reason, decoded);
        },
        std::move(progress), std::move(done));
}

SoundLoader::JobId SoundLoader::start(Work work, Progress progress, Done done) {
    const JobId id = ++m_lastId;
    m_callbacks.emplace(id, Callbacks{std::move(progress), std::move(done)});
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(Job{id, std::move(work)});
    }
    m_wake.notify_one();
    return id;
}

void SoundLoader::cancel(JobId job) {
    if (m_callbacks.erase(job) == 0) {
        return;
    }
    const std::lock_guard lock(m_mutex);
    std::erase_if(m_queue, [job](const Job& j) { return j.id == job; });
    if (m_running == job) {
        m_abandonRunning = true;
    }
}

void SoundLoader::run() {
    // Decoding a big file keeps a core busy for seconds. On two cores it would take turns with
    // the sound server's threads, which run at normal priority, and the loop playing on
    // another track would lose blocks: the loader yields to every other thread instead
    // (batch scheduling at the lowest nice level; it still gets all the time nobody else
    // wants, so a load is never starved).
    const sched_param batch{};
    ::pthread_setschedparam(::pthread_self(), SCHED_BATCH, &batch);
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) {
                return;
            }
            job = std::move(m_queue.front());
            m_queue.pop_front();
            m_running = job.id;
            m_abandonRunning = false;
        }
        decode(job);
        job.work = nullptr; // what it held goes here, off the UI thread
        const std::lock_guard lock(m_mutex);
        m_running = 0;
    }
}

void SoundLoader::decode(const Job& job) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point began = Clock::now();
    int shown = -1;
    const auto progress = [&](double fraction) {
        if (m_abandonRunning) {
            return false;
        }
        const int percent = static_cast<int>(fraction * 100.0);
        if (percent != shown && Clock::now() - began >= std::chrono::milliseconds(kQuietMs)) {
            shown = percent;
            report(Report{job.id, percent, nullptr, QString()});
        }
        return true;
    };
    QString reason;
    std::unique_ptr<SampleBuffer> samples = job.work(progress, reason);
    if (m_abandonRunning) {
        return; // freed here, off the UI thread
    }
    report(Report{job.id, -1, std::move(samples), reason});
}

void SoundLoader::report(Report report) {
    {
        const std::lock_guard lock(m_mutex);
        m_reports.push_back(std::move(report));
    }
    // Only Qt touches the event; the report itself went through the lock.
    QCoreApplication::postEvent(&m_receiver, new QEvent(QEvent::User));
}

void SoundLoader::deliver() {
    if (m_delivering) {
        return; // the callback running below takes it when it returns
    }
    m_delivering = true;
    for (;;) {
        Report r;
        {
            const std::lock_guard lock(m_mutex);
            if (m_reports.empty()) {
                break;
            }
            r = std::move(m_reports.front());
            m_reports.pop_front();
        }
        const auto it = m_callbacks.find(r.job);
        if (it == m_callbacks.end()) {
            continue; // cancelled
        }
        if (r.percent >= 0) {
            if (it->second.progress) {
                it->second.progress(r.percent);
            }
            continue;
        }
        // Out of the table first: the callback may start or cancel other jobs.
        const Done done = std::move(it->second.done);
        m_callbacks.erase(it);
        done(std::move(r.samples), r.reason);
    }
    m_delivering = false;
}

} // namespace mt
