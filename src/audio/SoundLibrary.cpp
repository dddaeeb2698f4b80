#include "audio/SoundLibrary.h"

#include "audio/CallbackMeter.h"
#include "audio/WavDecoder.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mt {
namespace {

float attenuation(std::int32_t hundredthsDb) noexcept {
    if (hundredthsDb <= SoundLibrary::kSilence) {
        return 0.0f;
    }
    return static_cast<float>(std::pow(10.0, std::min(hundredthsDb, 0) / 2000.0));
}

std::int32_t clampFrequency(std::int32_t hz) noexcept {
    return std::clamp(hz, SoundLibrary::kMinFrequency, SoundLibrary::kMaxFrequency);
}

} // namespace

StereoGain GainOf(std::int32_t volume, std::int32_t pan) noexcept {
    const float g = attenuation(volume);
    const float left = pan > 0 ? attenuation(-pan) : 1.0f;
    const float right = pan < 0 ? attenuation(pan) : 1.0f;
    return {g * left, g * right};
}

SoundLibrary::SoundLibrary(std::unique_ptr<AudioOutput> output) : m_output(std::move(output)) {
    m_freeSlots.reserve(Engine::kMaxSlots);
    for (int s = Engine::kMaxSlots - 1; s >= 0; --s) {
        m_freeSlots.push_back(s);
    }
}

SoundLibrary::~SoundLibrary() {
    finishReopen();
    const std::uint32_t underruns = m_pastUnderruns + (m_open ? m_output->health().underruns : 0);
    // Once the output is closed nothing reads the buffers; the members delete them.
    m_output->close();
    if (underruns > 0) {
        // For whoever runs the program from a terminal or a script: how the output held up.
        std::fprintf(stderr, "marrowtune: sound output closed after %u underruns\n", underruns);
    }
}

bool SoundLibrary::open(const OutputConfig& config, int bits) {
    m_blockSeconds = static_cast<double>(config.blockFrames) / std::max(config.sampleRate, 1);
    m_open = reopen(config, bits);
    return m_open;
}

void SoundLibrary::finishReopen() {
    if (m_reopener.joinable()) {
        m_reopener.join();
    }
    m_reopening = false;
}

void SoundLibrary::startReopen() {
    m_reopenDone.store(false, std::memory_order_relaxed);
    m_reopener = std::thread([this, config = m_config] {
        // Closing a dead stream and opening a new one may each wait on the server. The engine
        // is left alone: the new stream renders silence until the UI thread resumes it.
        m_output->close();
        m_reopenOk = m_output->openHeld(config, m_engine);
        m_reopenDone.store(true, std::memory_order_release);
    });
}

void SoundLibrary::watch() {
    if (m_reopener.joinable()) {
        if (!m_reopenDone.load(std::memory_order_acquire)) {
            return;
        }
        m_reopener.join();
        if (!m_reopenOk) {
            m_nextTry = SteadyNanos() + 1'000'000'000;
            return;
        }
        // This thread has been standing in for the audio thread; hand the engine over.
        quiesce();
        m_engine.setDeviceRate(m_output->deviceRate());
        m_engine.setTrackOutputs(m_output->trackOutputs());
        m_reopening = false;
        m_open = true;
        m_output->resume();
        return;
    }
    if (m_reopening) {
        if (SteadyNanos() >= m_nextTry) {
            startReopen();
        }
        return;
    }
    if (m_open && (!m_output->alive() || m_output->preferredBack())) {
        // Dead, or the system chosen first is back: the stream is opened again in the
        // background, and the voices wait where they are meanwhile.
        leaveOutput();
    }
}

void SoundLibrary::leaveOutput() {
    // A stream that stopped calling back may yet call once more; from here on this thread
    // stands in for the audio thread, so the stream must leave the engine alone first.
    m_output->hold();
    m_pastUnderruns += m_output->health().underruns;
    m_open = false;
    m_reopening = true;
    startReopen();
}

LibraryHealth SoundLibrary::health() {
    collect();
    LibraryHealth h;
    h.reopening = m_reopening;
    if (!m_reopening) {
        h.device = m_output->health();
    }
    h.underruns = m_pastUnderruns + h.device.underruns;
    h.format = m_config;
    h.bits = m_bits;
    h.formatRefused = m_formatRefused;
    h.refused = m_refused;
    h.refusedBits = m_refusedBits;
    return h;
}

void SoundLibrary::quiesce() {
    // The output is closed: this thread may act as the audio thread and apply everything
    // still queued, so no request is lost across the reopen.
    while (!m_backlog.empty()) {
        while (!m_backlog.empty() && m_engine.post(m_backlog.front())) {
            m_backlog.pop_front();
        }
        m_engine.applyPending();
    }
    m_engine.applyPending();
}

void SoundLibrary::closeOutput() {
    finishReopen();
    if (m_open) {
        m_pastUnderruns += m_output->health().underruns;
    }
    m_open = false;
    m_output->close();
}

bool SoundLibrary::reopen(const OutputConfig& config, int bits) {
    closeOutput();
    quiesce();
    m_engine.prepare(config.sampleRate, config.channels, bits, config.blockFrames);
    if (m_output->openHeld(config, m_engine)) {
        m_engine.setDeviceRate(m_output->deviceRate());
        m_engine.setTrackOutputs(m_output->trackOutputs());
        m_output->resume();
        m_config = config;
        m_bits = bits;
        return true;
    }
    return false;
}

bool SoundLibrary::setFormat(std::int32_t sampleRate, std::int16_t bits, std::int16_t channels) {
    collect();
    if (channels < 1 || channels > 2 || (bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
        sampleRate < 1) {
        return false;
    }
    if (m_open && sampleRate == m_config.sampleRate && channels == m_config.channels &&
        bits == m_bits) {
        return true; // a reopen would only cost the performer a gap
    }
    OutputConfig wanted = m_config;
    wanted.sampleRate = sampleRate;
    wanted.channels = channels;
    wanted.blockFrames = BlockFramesFor(sampleRate, m_blockSeconds);
    if (reopen(wanted, bits)) {
        m_open = true;
        m_formatRefused = false;
        return true;
    }
    m_formatRefused = true;
    m_refused = wanted;
    m_refusedBits = bits;
    restore();
    return false;
}

bool SoundLibrary::setBlockFrames(int frames) {
    collect();
    OutputConfig wanted = m_config;
    wanted.blockFrames = std::clamp(frames, Engine::kMinBlockFrames, Engine::kMaxBlockFrames);
    if (reopen(wanted, m_bits)) {
        m_open = true;
        m_blockSeconds = static_cast<double>(wanted.blockFrames) / wanted.sampleRate;
        return true;
    }
    restore();
    return false;
}

bool SoundLibrary::setOutput(const OutputChoice& choice) {
    collect();
    if (m_open && choice == m_choice) {
        return true; // a reopen would only cost the performer a gap
    }
    const OutputChoice previous = m_choice;
    closeOutput();
    m_output->choose(choice);
    OutputConfig wanted = m_config;
    wanted.blockFrames = BlockFramesFor(wanted.sampleRate, choice.blockSeconds);
    if (reopen(wanted, m_bits)) {
        m_open = true;
        m_choice = choice;
        m_blockSeconds = choice.blockSeconds;
        return true;
    }
    m_output->choose(previous);
    restore();
    return false;
}

void SoundLibrary::restore() {
    m_open = reopen(m_config, m_bits);
    if (!m_open) {
        // Not even the format that played before opens: the server is likely gone. Keep
        // trying in the background as for a stream that died.
        m_reopening = true;
        m_nextTry = SteadyNanos() + 1'000'000'000;
    }
}

void SoundLibrary::send(const EngineCommand& command) {
    collect();
    if (!m_backlog.empty() || !m_engine.post(command)) {
        m_backlog.push_back(command);
    }
}

void SoundLibrary::collect() {
    watch();
    if (!m_open) {
        // Nothing renders: this thread stands in for the audio thread.
        quiesce();
    }
    EngineReturn r;
    while (m_engine.collect(r)) {
        if (r.kind == EngineReturn::Kind::SlotFree) {
            m_slots[r.slot].reset();
            m_freeSlots.push_back(r.slot);
        } else {
            std::erase_if(m_sources, [&](const auto& s) { return s.get() == r.source; });
        }
    }
    while (!m_backlog.empty() && m_engine.post(m_backlog.front())) {
        m_backlog.pop_front();
    }
}

SoundLibrary::BufferRecord* SoundLibrary::find(std::int32_t handle) {
    collect();
    const auto it = m_buffers.find(handle);
    return it == m_buffers.end() ? nullptr : &it->second;
}

bool SoundLibrary::createBuffer(std::int32_t handle, const void* image, std::size_t size) {
    QString reason;
    std::unique_ptr<SampleBuffer> samples = DecodeWavImage(image, size, reason);
    return adoptBuffer(handle, std::move(samples), reason);
}

bool SoundLibrary::adoptBuffer(std::int32_t handle, std::unique_ptr<SampleBuffer> samples,
                               const QString& reason) {
    collect();
    if (!samples) {
        m_lastError = reason;
        return false;
    }
    if (m_freeSlots.empty() || m_buffers.count(handle) != 0) {
        m_lastError = QCoreApplication::translate("mt::SoundLibrary",
                                                  "これ以上サウンドバッファを作成できません。");
        return false;
    }
    const int slot = m_freeSlots.back();
    m_freeSlots.pop_back();
    BufferRecord record;
    record.slot = slot;
    record.frequency = clampFrequency(samples->sampleRate());
    EngineCommand c;
    c.kind = EngineCommand::Kind::Attach;
    c.slot = static_cast<std::uint16_t>(slot);
    c.buffer = samples.get();
    m_slots[static_cast<std::size_t>(slot)] = std::move(samples);
    m_buffers.emplace(handle, record);
    send(c);
    return true;
}

void SoundLibrary::freeBuffer(std::int32_t handle) {
    const BufferRecord* r = find(handle);
    if (r == nullptr) {
        return;
    }
    EngineCommand c;
    c.kind = EngineCommand::Kind::Release;
    c.slot = static_cast<std::uint16_t>(r->slot);
    m_buffers.erase(handle);
    send(c);
}

void SoundLibrary::play(std::int32_t handle, bool loop) {
    const BufferRecord* r = find(handle);
    if (r != nullptr) {
        playEx(handle, loop, r->volume, r->pan, r->frequency);
    }
}

void SoundLibrary::playEx(std::int32_t handle, bool loop, std::int32_t volume, std::int32_t pan,
                          std::int32_t frequency) {
    playAt(handle, loop, volume, pan, frequency, -1, 0);
}

void SoundLibrary::playAt(std::int32_t handle, bool loop, std::int32_t volume, std::int32_t pan,
                          std::int32_t frequency, std::int64_t frame, std::int64_t from) {
    BufferRecord* r = find(handle);
    if (r == nullptr) {
        return;
    }
    r->volume = volume;
    r->pan = pan;
    r->frequency = clampFrequency(frequency);
    const StereoGain g = GainOf(volume, pan);
    EngineCommand c;
    c.kind = EngineCommand::Kind::Play;
    c.slot = static_cast<std::uint16_t>(r->slot);
    c.loop = loop;
    c.gainLeft = g.left;
    c.gainRight = g.right;
    c.frequency = r->frequency;
    c.atFrame = frame;
    c.startIndex = from;
    send(c);
}

void SoundLibrary::stop(std::int32_t handle) {
    stopAt(handle, -1);
}

void SoundLibrary::stopAt(std::int32_t handle, std::int64_t frame) {
    const BufferRecord* r = find(handle);
    if (r == nullptr) {
        return;
    }
    EngineCommand c;
    c.kind = EngineCommand::Kind::Stop;
    c.slot = static_cast<std::uint16_t>(r->slot);
    c.atFrame = frame;
    send(c);
}

void SoundLibrary::cancelScheduled(std::int32_t handle) {
    const BufferRecord* r = find(handle);
    if (r == nullptr) {
        return;
    }
    EngineCommand c;
    c.kind = EngineCommand::Kind::Cancel;
    c.slot = static_cast<std::uint16_t>(r->slot);
    send(c);
}

void SoundLibrary::sendGain(const BufferRecord& record) {
    const StereoGain g = GainOf(record.volume, record.pan);
    EngineCommand c;
    c.kind = EngineCommand::Kind::SetGain;
    c.slot = static_cast<std::uint16_t>(record.slot);
    c.gainLeft = g.left;
    c.gainRight = g.right;
    send(c);
}

void SoundLibrary::setVolume(std::int32_t handle, std::int32_t volume) {
    if (BufferRecord* r = find(handle)) {
        r->volume = volume;
        sendGain(*r);
    }
}

void SoundLibrary::setPan(std::int32_t handle, std::int32_t pan) {
    if (BufferRecord* r = find(handle)) {
        r->pan = pan;
        sendGain(*r);
    }
}

void SoundLibrary::setFrequency(std::int32_t handle, std::int32_t frequency) {
    if (BufferRecord* r = find(handle)) {
        r->frequency = clampFrequency(frequency);
        EngineCommand c;
        c.kind = EngineCommand::Kind::SetFrequency;
        c.slot = static_cast<std::uint16_t>(r->slot);
        c.frequency = r->frequency;
        send(c);
    }
}

void SoundLibrary::route(std::int32_t handle, int track) {
    if (const BufferRecord* r = find(handle)) {
        EngineCommand c;
        c.kind = EngineCommand::Kind::Route;
        c.slot = static_cast<std::uint16_t>(r->slot);
        c.output =
            static_cast<std::int8_t>(track >= 0 && track < Engine::kTrackOutputs ? track : -1);
        send(c);
    }
}

bool SoundLibrary::voiceStatus(std::int32_t handle, VoiceStatus& status) {
    const BufferRecord* r = find(handle);
    if (r == nullptr) {
        return false;
    }
    status = m_engine.status(r->slot);
    return true;
}

std::shared_ptr<const WaveOverview> SoundLibrary::overview(std::int32_t handle) {
    const BufferRecord* r = find(handle);
    const SampleBuffer* samples =
        r == nullptr ? nullptr : m_slots[static_cast<std::size_t>(r->slot)].get();
    return samples == nullptr ? nullptr : samples->overview();
}

std::shared_ptr<const SampleBuffer> SoundLibrary::samples(std::int32_t handle) {
    const BufferRecord* r = find(handle);
    return r == nullptr ? nullptr : m_slots[static_cast<std::size_t>(r->slot)];
}

std::int64_t SoundLibrary::frames(std::int32_t handle) {
    const BufferRecord* r = find(handle);
    const SampleBuffer* samples =
        r == nullptr ? nullptr : m_slots[static_cast<std::size_t>(r->slot)].get();
    return samples == nullptr ? -1 : samples->frames();
}

AudioSource* SoundLibrary::addSource(std::unique_ptr<AudioSource> source) {
    collect();
    source->prepare(m_config.sampleRate, 2, static_cast<std::size_t>(m_engine.blockFrames()));
    AudioSource* raw = source.get();
    m_sources.push_back(std::move(source));
    EngineCommand c;
    c.kind = EngineCommand::Kind::AddSource;
    c.source = raw;
    send(c);
    return raw;
}

void SoundLibrary::removeSource(AudioSource* source) {
    EngineCommand c;
    c.kind = EngineCommand::Kind::RemoveSource;
    c.source = source;
    send(c);
}

} // namespace mt
