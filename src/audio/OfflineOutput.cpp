#include "audio/OfflineOutput.h"

#include "audio/Engine.h"
#include "audio/OutputChoice.h"

#include <algorithm>

namespace mt {

bool OfflineOutput::open(const OutputConfig& config, Engine& engine) {
    const bool ok = m_accepts ? m_accepts(config)
                              : config.sampleRate >= 1000 && config.sampleRate <= 400000 &&
                                    config.channels >= 1 && config.channels <= 2;
    m_config = config;
    m_engine = ok ? &engine : nullptr;
    m_alive = ok;
    return ok;
}

std::unique_ptr<OfflineOutput> OfflineOutput::AtOwnRate(int rate) {
    auto output = std::make_unique<OfflineOutput>();
    output->m_ownRate = rate;
    return output;
}

void OfflineOutput::choose(const OutputChoice& choice) {
    m_separate = choice.separateOutputs;
}

void OfflineOutput::pull(float* out, std::size_t frames) noexcept {
    const auto channels = static_cast<std::size_t>(m_engine != nullptr ? m_engine->outputChannels()
                                                                       : m_config.channels);
    if (m_engine == nullptr) {
        std::fill(out, out + frames * channels, 0.0f);
        return;
    }
    const auto block = static_cast<std::size_t>(std::max(m_config.blockFrames, 1));
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(block, frames - done);
        m_engine->render(out + done * channels, n);
        done += n;
    }
}

OutputHealth OfflineOutput::health() noexcept {
    OutputHealth h;
    if (m_engine != nullptr) {
        h.api = "offline";
        h.deviceRate = deviceRate();
        h.blockFrames = m_config.blockFrames;
        h.latencySeconds = static_cast<double>(m_config.blockFrames) / h.deviceRate;
    }
    h.alive = m_alive;
    return h;
}

std::vector<float> OfflineOutput::render(std::size_t frames) {
    std::vector<float> out(frames * static_cast<std::size_t>(m_engine != nullptr
                                                                 ? m_engine->outputChannels()
                                                                 : m_config.channels));
    pull(out.data(), frames);
    return out;
}

} // namespace mt
