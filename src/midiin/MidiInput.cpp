#include "midiin/MidiInput.h"

#include "platform/SettingsStore.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace mt {
namespace {

// The program's own section: the documented "Info" keys stay as they are.
const QString kSection = QStringLiteral("Marrowtune");

const char* const kSystems[] = {"auto", "jack", "alsa"};
const char* const kCurves[] = {"fixed", "linear", "soft"};

QString MapKey(const MidiAction& action) {
    QString name = MidiMapping::actionName(action);
    name[0] = name[0].toUpper();
    return QStringLiteral("MidiMap") + name;
}

template <std::size_t N> int IndexOf(const char* const (&names)[N], const QString& text) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Decibels as stored (a plain decimal number) in hundredths of a dB, or nothing.
std::optional<int> CentiDbOf(const std::optional<QString>& text) {
    bool ok = false;
    const double db = text ? text->toDouble(&ok) : 0.0;
    if (!ok || !std::isfinite(db)) {
        return std::nullopt;
    }
    return static_cast<int>(std::lround(std::clamp(db, -70.0, 70.0) * 100.0));
}

} // namespace

MidiInput::MidiInput(PerformanceInput& sink)
    : m_dispatcher(sink, &m_clockIn), m_ports(m_dispatcher) {}

MidiInput::~MidiInput() {
    stop();
}

void MidiInput::attachClock(const BeatClock& clock, const FrameClock& frames) {
    m_clockIn.attach(frames);
    m_clockOut = std::make_unique<MidiClockOut>(m_ports, clock, frames);
    if (m_ports.isOpen()) {
        m_clockOut->attach();
    }
}

void MidiInput::stop() {
    if (m_clockOut) {
        m_clockOut->detach();
    }
    m_ports.close();
}

void MidiInput::loadSettings(const SettingsStore& store, const QString& app) {
    const auto read = [&](const QString& key) { return store.value(app, kSection, key); };
    if (const auto system = read(QStringLiteral("MidiSystem"))) {
        const int i = IndexOf(kSystems, *system);
        m_system = i < 0 ? MidiSystem::Auto : static_cast<MidiSystem>(i);
    }
    chooseSource(read(QStringLiteral("MidiSource")).value_or(QString()));
    if (const auto hardware = read(QStringLiteral("MidiHardware"))) {
        setConnectHardware(hardware->compare(QLatin1String("False"), Qt::CaseInsensitive) != 0);
    }

    MidiMapping mapping = MidiMapping::defaults();
    for (int slot = 0; slot < MidiMapping::kActionCount; ++slot) {
        const MidiAction action = MidiMapping::actionAt(slot);
        if (const auto text = read(MapKey(action))) {
            if (const auto trigger = MidiMapping::triggerFromText(*text)) {
                mapping.bind(action, *trigger);
            }
        }
    }
    m_dispatcher.setMapping(mapping);

    VelocityCurve curve;
    if (const auto kind = read(QStringLiteral("MidiCurve")); kind && IndexOf(kCurves, *kind) >= 0) {
        curve.kind = static_cast<VelocityCurve::Kind>(IndexOf(kCurves, *kind));
    }
    if (const auto range = CentiDbOf(read(QStringLiteral("MidiCurveRange")))) {
        curve.rangeCentiDb = std::clamp(std::abs(*range), 0, VelocityCurve::kMaxRangeCentiDb);
    }
    if (const auto fixed = CentiDbOf(read(QStringLiteral("MidiFixedGain")))) {
        curve.fixedCentiDb = std::clamp(*fixed, -VelocityCurve::kMaxRangeCentiDb, 0);
    }
    m_dispatcher.setCurve(curve);

    const QStringList lights =
        read(QStringLiteral("MidiPadLights")).value_or(QString()).split(QLatin1Char(' '));
    if (lights.size() == 4) {
        for (std::size_t i = 0; i < 4; ++i) {
            bool ok = false;
            const int v = lights[static_cast<int>(i)].toInt(&ok);
            if (ok) {
                m_padVelocities[i] = std::clamp(v, 0, 127);
            }
        }
    }
    // Apart from the four, which a program that knows only those reads as before.
    bool armedOk = false;
    const int armed = read(QStringLiteral("MidiPadArmedLight")).value_or(QString()).toInt(&armedOk);
    if (armedOk) {
        m_padVelocities[4] = std::clamp(armed, 0, 127);
    }
}

void MidiInput::saveSettings(SettingsStore& store, const QString& app) const {
    const auto write = [&](const QString& key, const QString& value) {
        store.setValue(app, kSection, key, value);
    };
    write(QStringLiteral("MidiSystem"), QLatin1String(kSystems[static_cast<int>(m_system)]));
    write(QStringLiteral("MidiSource"), m_chosen);
    write(QStringLiteral("MidiHardware"),
          m_connectHardware ? QStringLiteral("True") : QStringLiteral("False"));
    const MidiMapping mapping = m_dispatcher.mapping();
    for (int slot = 0; slot < MidiMapping::kActionCount; ++slot) {
        const MidiAction action = MidiMapping::actionAt(slot);
        write(MapKey(action), MidiMapping::triggerText(mapping.trigger(action)));
    }
    const VelocityCurve curve = m_dispatcher.curve();
    write(QStringLiteral("MidiCurve"), QLatin1String(kCurves[static_cast<int>(curve.kind)]));
    write(QStringLiteral("MidiCurveRange"), QString::number(curve.rangeCentiDb / 100.0));
    write(QStringLiteral("MidiFixedGain"), QString::number(curve.fixedCentiDb / 100.0));
    write(QStringLiteral("MidiPadLights"), QStringLiteral("%1 %2 %3 %4")
                                               .arg(m_padVelocities[0])
                                               .arg(m_padVelocities[1])
                                               .arg(m_padVelocities[2])
                                               .arg(m_padVelocities[3]));
    write(QStringLiteral("MidiPadArmedLight"), QString::number(m_padVelocities[4]));
}

bool MidiInput::start(std::optional<MidiSystem> system) {
    stop();
    if (!m_ports.open(system.value_or(m_system))) {
        return false;
    }
    if (m_clockOut) {
        m_clockOut->attach();
    }
    return true;
}

void MidiInput::chooseSource(const QString& name) {
    m_chosen = MidiPorts::stableName(name);
    m_ports.setChosenSource(m_chosen);
}

void MidiInput::setConnectHardware(bool connect) {
    m_connectHardware = connect;
    m_ports.setConnectHardware(connect);
}

void MidiInput::trackStateChanged(int track, PadState state) {
    if (track < 0 || track > 7) {
        return;
    }
    const MidiTrigger pad = m_dispatcher.mapping().trigger({MidiAction::Kind::Press, track});
    const int channel =
        pad.channel == MidiTrigger::kAnyChannel ? m_dispatcher.lastChannel(track) : pad.channel;
    const auto velocity =
        static_cast<std::uint8_t>(m_padVelocities[static_cast<std::size_t>(state)]);
    std::uint8_t status = 0;
    if (pad.kind == MidiTrigger::Kind::Note) {
        status = 0x90;
    } else if (pad.kind == MidiTrigger::Kind::ControlChange) {
        status = 0xB0;
    } else {
        return;
    }
    const std::uint8_t message[] = {static_cast<std::uint8_t>(status | channel),
                                    static_cast<std::uint8_t>(pad.number), velocity};
    m_ports.send(message, sizeof message);
}

} // namespace mt
