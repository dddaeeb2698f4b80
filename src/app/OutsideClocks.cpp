#include "app/OutsideClocks.h"

#include "audio/SoundBuffers.h"
#include "core/BeatClock.h"
#include "core/StoredValue.h"
#include "platform/SettingsStore.h"

namespace mt {

OutsideClocks::OutsideClocks(BeatClock& clock, const FrameClock& frames,
                             const std::int32_t& library)
    : m_clock(clock), m_frames(frames), m_library(library) {
    connect(&m_clock, &BeatClock::changed, this, &OutsideClocks::follow);
    // A peer's arrival, say: the library may have opened since the source was chosen.
    connect(&m_clock, &BeatClock::followChanged, this, &OutsideClocks::follow);
    follow();
}

OutsideClocks::~OutsideClocks() {
    m_clock.attach(TempoSource::JackTransport, nullptr);
    m_clock.attach(TempoSource::Link, nullptr);
    if (m_link) {
        setLibraryBlockListener(m_listenedLibrary, nullptr); // returns once no render calls it
    }
}

LinkClock& OutsideClocks::link() {
    if (!m_link) {
        m_link = std::make_unique<LinkClock>(m_frames, m_clock.bpm());
        m_link->setStartStopSync(m_linkStartStop);
        m_clock.attach(TempoSource::Link, m_link.get());
    }
    return *m_link;
}

void OutsideClocks::setLinkStartStop(bool on) {
    m_linkStartStop = on;
    if (m_link) {
        m_link->setStartStopSync(on);
    }
}

void OutsideClocks::startStopPressed(bool playing) {
    if (m_link && m_linkStartStop && m_link->enabled()) {
        m_link->setPlaying(playing);
    }
}

JackTransportClock& OutsideClocks::jack() {
    if (!m_jack) {
        m_jack = std::make_unique<JackTransportClock>(m_frames);
        m_jack->followGrid(m_clock.grid());
        m_clock.attach(TempoSource::JackTransport, m_jack.get());
    }
    return *m_jack;
}

void OutsideClocks::setJackMaster(bool lead) {
    m_jackMaster = lead;
    if (lead || m_jack) {
        jack().setMaster(lead);
    }
}

void OutsideClocks::readSettings(const SettingsStore& store, const QString& app) {
    const auto read = [&store, &app](const char* key) {
        return store.value(app, QStringLiteral("BeatClock"), QLatin1String(key));
    };
    setJackMaster(StoredBool(read("JackMaster")).value_or(false));
    setLinkStartStop(StoredBool(read("LinkStartStop")).value_or(false));
}

void OutsideClocks::writeSettings(SettingsStore& store, const QString& app) const {
    store.setValue(app, QStringLiteral("BeatClock"), QStringLiteral("JackMaster"),
                   m_jackMaster ? QStringLiteral("1") : QStringLiteral("0"));
    store.setValue(app, QStringLiteral("BeatClock"), QStringLiteral("LinkStartStop"),
                   m_linkStartStop ? QStringLiteral("1") : QStringLiteral("0"));
}

void OutsideClocks::follow() {
    if (m_clock.source() == TempoSource::JackTransport) {
        jack();
    }
    if (m_jack) {
        m_jack->followGrid(m_clock.grid());
    }
    const bool linked = m_clock.source() == TempoSource::Link;
    if (linked || m_link) {
        LinkClock& session = link();
        session.setBeatsPerBar(m_clock.beatsPerBar());
        if (m_listenedLibrary != m_library) {
            setLibraryBlockListener(m_listenedLibrary, nullptr);
            setLibraryBlockListener(m_library, &session);
            m_listenedLibrary = m_library;
        }
        if (session.enabled() != linked) {
            session.setEnabled(linked);
        }
    }
}

} // namespace mt
