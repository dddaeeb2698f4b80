#include "media/cd/CdAudioDevice.h"

#include "audio/LibraryRegistry.h"
#include "audio/SoundLibrary.h"
#include "media/cd/CdDisc.h"
#include "media/cd/CdReader.h"
#include "media/cd/MciErrors.h"

#include <QFileInfo>

namespace mt {
namespace {

constexpr std::int64_t kFramesPerSector = CdDisc::kFramesPerSector;

// Milliseconds of a sector's start, rounded down; msToSector(sectorToMs(s)) gives s back.
std::int64_t SectorToMs(std::int64_t sector) {
    const std::int64_t scaled = sector * 1000;
    return scaled >= 0 ? scaled / CdDisc::kSectorsPerSecond
                       : -((-scaled + CdDisc::kSectorsPerSecond - 1) / CdDisc::kSectorsPerSecond);
}

} // namespace

CdAudioDevice::CdAudioDevice(ImagePath imagePath, LibraryHandle library, Options options)
    : m_imagePath(std::move(imagePath)), m_library(std::move(library)),
      m_options(std::move(options)), m_stream(std::make_shared<CdStream>()) {}

CdAudioDevice::~CdAudioDevice() {
    close();
}

std::uint32_t CdAudioDevice::open() {
    if (m_open) {
        return kMciErrDeviceOpen;
    }
    const QString image = m_imagePath();
    std::unique_ptr<CdDisc> disc;
    if (!image.isEmpty()) {
        std::uint32_t error = kMciOk;
        disc = openImage(image, error);
        if (disc == nullptr) {
            return error;
        }
    } else {
        const QByteArray drive = CdDisc::defaultDrive();
        if (drive.isEmpty()) {
            return kCdErrNoSource;
        }
        disc = CdDisc::openDrive(drive); // a drive without a disc opens all the same
    }
    m_open = true;
    m_reader = std::make_unique<CdReader>(*m_stream, m_options.readerThread);
    if (disc != nullptr) {
        takeDisc(std::move(disc), image);
    }
    return kMciOk;
}

void CdAudioDevice::setOptions(Options options) {
    m_options = std::move(options);
    m_probe.reset();
    m_probing = {};
    m_verdict.reset();
}

std::unique_ptr<CdDisc> CdAudioDevice::openImage(const QString& path, std::uint32_t& error) {
    error = CdDisc::checkImageFile(path);
    if (error != kMciOk) {
        return nullptr;
    }
    const QFileInfo info(path);
    const ImageFile file{path, info.size(), info.lastModified()};
    if (file == m_probing && m_verdict) {
        error = *m_verdict;
        if (error == kCdErrProbeMissing) {
            m_probing = {}; // said once: a probe installed meanwhile is tried next time
        }
        return error == kMciOk ? CdDisc::openImageInThisProcess(path, error) : nullptr;
    }
    if (!m_probe) {
        m_probe =
            std::make_unique<CdImageProbe>(m_options.probeProgram, m_options.probeTimeLimitMs);
    }
    if (file != m_probing || !m_probe->running()) {
        ++m_imageProbes;
        m_probing = file;
        m_verdict.reset();
        if (!m_probe->start(path, [this](std::uint32_t verdict) { m_verdict = verdict; })) {
            m_probing = {};
            error = kCdErrProbeMissing;
            return nullptr;
        }
    }
    error = kCdErrChecking;
    return nullptr;
}

void CdAudioDevice::takeDisc(std::unique_ptr<CdDisc> disc, const QString& source) {
    m_disc = std::move(disc);
    m_discSource = source;
    m_reader->setDisc(m_disc.get());
    moveTo(m_disc->trackStart(1), false); // a new disc starts at its first track
}

void CdAudioDevice::close() {
    if (!m_open) {
        return;
    }
    dropDisc();
    detach();
    m_reader.reset();
    m_open = false;
}

void CdAudioDevice::dropDisc() {
    ++m_generation;
    m_stream->request(m_generation, false);
    m_state = State::Stopped;
    m_targetFrame = 0;
    if (m_reader != nullptr) {
        m_reader->setDisc(nullptr);
    }
    m_disc.reset();
}

bool CdAudioDevice::tryLoad() {
    const QString image = m_imagePath();
    std::unique_ptr<CdDisc> disc;
    if (!image.isEmpty()) {
        std::uint32_t error = kMciOk;
        disc = openImage(image, error);
    } else if (const QByteArray drive = CdDisc::defaultDrive(); !drive.isEmpty()) {
        disc = CdDisc::openDrive(drive);
    }
    if (disc == nullptr) {
        return false;
    }
    takeDisc(std::move(disc), image);
    return true;
}

bool CdAudioDevice::refresh() {
    if (m_disc != nullptr && (!m_disc->present() || m_imagePath() != m_discSource)) {
        dropDisc();
        return false;
    }
    if (m_disc == nullptr) {
        tryLoad();
    }
    return true;
}

std::uint32_t CdAudioDevice::ready() {
    if (!m_open) {
        return kMciErrInvalidDeviceName;
    }
    if (m_disc == nullptr) {
        return kMciErrDeviceNotReady;
    }
    syncEnd();
    return kMciOk;
}

void CdAudioDevice::syncEnd() {
    if (m_state == State::Playing && m_stream->ended(m_generation)) {
        m_state = State::Stopped;
        m_stream->request(m_generation, false);
    }
}

const char* CdAudioDevice::mode() {
    if (!m_open || !refresh()) {
        return "open";
    }
    if (m_disc == nullptr) {
        return checkingImage() ? "not ready" : "open";
    }
    syncEnd();
    switch (m_state) {
    case State::Playing:
        ensureAttached();
        return m_stream->playedFrame(m_generation) < 0 ? "seeking" : "playing";
    case State::Paused:
        return "paused";
    case State::Stopped:
        break;
    }
    return "stopped";
}

bool CdAudioDevice::mediaPresent() {
    return m_open && refresh() && m_disc != nullptr;
}

std::int64_t CdAudioDevice::currentFrame() const {
    const std::int64_t played = m_stream->playedFrame(m_generation);
    return played < 0 ? m_targetFrame : played;
}

std::uint32_t CdAudioDevice::trackCount(int& count) {
    const std::uint32_t error = ready();
    if (error == kMciOk) {
        count = m_disc->trackCount();
    }
    return error;
}

std::uint32_t CdAudioDevice::currentTrack(int& track) {
    const std::uint32_t error = ready();
    if (error == kMciOk) {
        track = m_disc->trackAt(static_cast<std::int32_t>(currentFrame() / kFramesPerSector));
    }
    return error;
}

std::uint32_t CdAudioDevice::position(std::int64_t& ms) {
    const std::uint32_t error = ready();
    if (error == kMciOk) {
        ms = currentFrame() * 1000 / CdDisc::kSampleRate;
    }
    return error;
}

std::uint32_t CdAudioDevice::trackPosition(int track, std::int64_t& ms) {
    const std::uint32_t error = ready();
    if (error != kMciOk) {
        return error;
    }
    if (track < 1 || track > m_disc->trackCount()) {
        return kMciErrOutOfRange;
    }
    ms = SectorToMs(m_disc->trackStart(track));
    return kMciOk;
}

std::uint32_t CdAudioDevice::length(std::int64_t& ms) {
    const std::uint32_t error = ready();
    if (error == kMciOk) {
        ms = SectorToMs(m_disc->leadout());
    }
    return error;
}

std::uint32_t CdAudioDevice::sectorOf(std::int64_t ms, std::int32_t& sector) const {
    // The nearest sector: a position read back from a track start seeks exactly to it.
    const std::int64_t s = (ms * CdDisc::kSectorsPerSecond * 2 + 1000) / 2000;
    if (ms < 0 || ms > SectorToMs(m_disc->leadout()) ||
        s < std::min<std::int64_t>(0, m_disc->trackStart(1))) {
        return kMciErrOutOfRange;
    }
    sector = static_cast<std::int32_t>(s);
    return kMciOk;
}

void CdAudioDevice::moveTo(std::int32_t sector, bool playing) {
    ++m_generation;
    m_targetFrame = std::int64_t{sector} * kFramesPerSector;
    m_reader->seek(m_generation, sector);
    if (playing) {
        ensureAttached();
    }
    m_stream->request(m_generation, playing);
    m_state = playing ? State::Playing : State::Stopped;
}

std::uint32_t CdAudioDevice::play() {
    const std::uint32_t error = ready();
    if (error != kMciOk || m_state == State::Playing || m_stream->ended(m_generation)) {
        return error; // already playing, or at the end of the disc: nothing to do
    }
    ensureAttached();
    m_stream->request(m_generation, true);
    m_state = State::Playing;
    return kMciOk;
}

std::uint32_t CdAudioDevice::playFrom(std::int64_t ms) {
    std::uint32_t error = ready();
    std::int32_t sector = 0;
    if (error == kMciOk && (error = sectorOf(ms, sector)) == kMciOk) {
        moveTo(sector, true);
    }
    return error;
}

std::uint32_t CdAudioDevice::seek(std::int64_t ms) {
    std::uint32_t error = ready();
    std::int32_t sector = 0;
    if (error == kMciOk && (error = sectorOf(ms, sector)) == kMciOk) {
        moveTo(sector, false);
    }
    return error;
}

std::uint32_t CdAudioDevice::pause() {
    const std::uint32_t error = ready();
    if (error == kMciOk && m_state == State::Playing) {
        m_stream->request(m_generation, false);
        m_state = State::Paused;
    }
    return error;
}

std::uint32_t CdAudioDevice::stop() {
    const std::uint32_t error = ready();
    if (error == kMciOk) {
        m_stream->request(m_generation, false);
        m_state = State::Stopped;
    }
    return error;
}

std::uint32_t CdAudioDevice::setChannel(int channel, bool on) {
    if (!m_open) {
        return kMciErrInvalidDeviceName;
    }
    m_stream->setChannel(channel, on);
    return kMciOk;
}

void CdAudioDevice::ensureAttached() {
    const std::int32_t library = m_library ? m_library() : 0;
    if (library == m_attachedLibrary) {
        return;
    }
    detach();
    if (library == 0) {
        return;
    }
    auto source = std::make_unique<CdStreamSource>(m_stream);
    m_source = LibraryRegistry::instance().withLibrary(
        library, static_cast<AudioSource*>(nullptr),
        [&](SoundLibrary& l) { return l.addSource(std::move(source)); });
    m_attachedLibrary = m_source != nullptr ? library : 0;
}

void CdAudioDevice::detach() {
    if (m_source != nullptr) {
        // A library that has been terminated took the adapter with it; then this finds nothing.
        LibraryRegistry::instance().withLibrary(m_attachedLibrary, 0, [&](SoundLibrary& l) {
            l.removeSource(m_source);
            return 0;
        });
    }
    m_source = nullptr;
    m_attachedLibrary = 0;
}

void CdAudioDevice::pumpReader() {
    if (m_reader != nullptr) {
        m_reader->pump();
    }
}

std::uint64_t CdAudioDevice::readErrors() const {
    return m_reader != nullptr ? m_reader->readErrors() : 0;
}

} // namespace mt
