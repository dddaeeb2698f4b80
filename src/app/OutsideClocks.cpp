#include "app/OutsideClocks.h"

#include "core/BeatClock.h"
#include "core/StoredValue.h"
#include "platform/SettingsStore.h"

namespace mt {

OutsideClocks::OutsideClocks(BeatClock& clock, const FrameClock& frames)
    : m_clock(clock), m_frames(frames) {
    connect(&m_clock, &BeatClock::changed, this, &OutsideClocks::follow);
    follow();
}

OutsideClocks::~OutsideClocks() {
    m_clock.attach(TempoSource::JackTransport, nullptr);
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
}

void OutsideClocks::writeSettings(SettingsStore& store, const QString& app) const {
    store.setValue(app, QStringLiteral("BeatClock"), QStringLiteral("JackMaster"),
                   m_jackMaster ? QStringLiteral("1") : QStringLiteral("0"));
}

void OutsideClocks::follow() {
    if (m_clock.source() == TempoSource::JackTransport) {
        jack();
    }
    if (m_jack) {
        m_jack->followGrid(m_clock.grid());
    }
}

} // namespace mt
