#include "audio/SoundLoader.h"

#include "audio/WavDecoder.h"

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
    const JobId id = ++m_lastId;
    m_callbacks.emplace(id, Callbacks{std::move(progress), std::move(done)});
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(Job{id, path});
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
            QMetaObject::invokeMethod(
                &m_receiver, [this, id = job.id, percent] { deliverProgress(id, percent); },
                Qt::QueuedConnection);
        }
        return true;
    };
    QString reason;
    std::unique_ptr<SampleBuffer> samples;
    if (!job.path.isEmpty()) {
        samples = DecodeSoundFile(job.path, reason, progress);
    }
    if (m_abandonRunning) {
        return; // freed here, off the UI thread
    }
    // Copyable for the posted call; a result still queued when the loader goes is freed.
    auto result = std::make_shared<std::unique_ptr<SampleBuffer>>(std::move(samples));
    QMetaObject::invokeMethod(
        &m_receiver,
        [this, id = job.id, result, reason] { deliverDone(id, std::move(*result), reason); },
        Qt::QueuedConnection);
}

void SoundLoader::deliverProgress(JobId job, int percent) {
    const auto it = m_callbacks.find(job);
    if (it != m_callbacks.end() && it->second.progress) {
        it->second.progress(percent);
    }
}

void SoundLoader::deliverDone(JobId job, std::unique_ptr<SampleBuffer> samples,
                              const QString& reason) {
    m_held.push_back(Result{job, std::move(samples), reason});
    if (m_delivering) {
        return; // the callback running below hands it over when it returns
    }
    m_delivering = true;
    while (!m_held.empty()) {
        Result result = std::move(m_held.front());
        m_held.pop_front();
        const auto it = m_callbacks.find(result.job);
        if (it == m_callbacks.end()) {
            continue; // cancelled after it finished
        }
        // Out of the table first: the callback may start or cancel other jobs.
        const Done done = std::move(it->second.done);
        m_callbacks.erase(it);
        done(std::move(result.samples), result.reason);
    }
    m_delivering = false;
}

} // namespace mt
