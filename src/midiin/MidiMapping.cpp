#include "midiin/MidiMapping.h"

#include <QStringList>

#include <algorithm>

namespace mt {
namespace {

constexpr int kTracks = 8;

const char* const kKindNames[] = {"press", "volume", "pan", "speed", "panic"};
const char* const kModeNames[] = {"absolute", "relative-twos", "relative-offset", "relative-sign"};

} // namespace

MidiMapping MidiMapping::defaults() {
    MidiMapping m;
    for (int t = 0; t < kTracks; ++t) {
        m.m_triggers[slot({MidiAction::Kind::Press, t})] = {
            MidiTrigger::Kind::Note, MidiTrigger::kAnyChannel, kFirstPadNote + t, CcMode::Absolute};
    }
    m.m_triggers[slot({MidiAction::Kind::Panic, 0})] = {
        MidiTrigger::Kind::ControlChange, MidiTrigger::kAnyChannel, 120, CcMode::Absolute};
    return m;
}

int MidiMapping::slot(const MidiAction& action) {
    if (action.kind == MidiAction::Kind::Panic) {
        return kActionCount - 1;
    }
    const int track = std::clamp(action.track, 0, kTracks - 1);
    return static_cast<int>(action.kind) * kTracks + track;
}

MidiAction MidiMapping::actionAt(int slot) {
    if (slot >= kActionCount - 1) {
        return {MidiAction::Kind::Panic, 0};
    }
    return {static_cast<MidiAction::Kind>(slot / kTracks), slot % kTracks};
}

void MidiMapping::bind(const MidiAction& action, const MidiTrigger& trigger) {
    for (MidiTrigger& other : m_triggers) {
        if (other.overlaps(trigger)) {
            other = MidiTrigger{};
        }
    }
    m_triggers[slot(action)] = trigger;
}

std::optional<MidiMapping::Match> MidiMapping::match(MidiTrigger::Kind kind, int channel,
                                                     int number) const {
    for (int i = 0; i < kActionCount; ++i) {
        if (m_triggers[i].matches(kind, channel, number)) {
            return Match{actionAt(i), m_triggers[i]};
        }
    }
    return std::nullopt;
}

QString MidiMapping::actionName(const MidiAction& action) {
    QString kind = QLatin1String(kKindNames[static_cast<int>(action.kind)]);
    if (action.kind == MidiAction::Kind::Panic) {
        return kind;
    }
    return kind + QString::number(action.track + 1);
}

QString MidiMapping::triggerText(const MidiTrigger& trigger) {
    if (trigger.kind == MidiTrigger::Kind::None) {
        return QStringLiteral("none");
    }
    const QString channel = trigger.channel == MidiTrigger::kAnyChannel
                                ? QStringLiteral("any")
                                : QString::number(trigger.channel + 1);
    if (trigger.kind == MidiTrigger::Kind::Note) {
        return QStringLiteral("note %1 %2").arg(channel).arg(trigger.number);
    }
    return QStringLiteral("cc %1 %2 %3")
        .arg(channel)
        .arg(trigger.number)
        .arg(QLatin1String(kModeNames[static_cast<int>(trigger.mode)]));
}

std::optional<MidiTrigger> MidiMapping::triggerFromText(const QString& text) {
    const QStringList words = text.simplified().toLower().split(QLatin1Char(' '));
    if (words.size() == 1 && words[0] == QLatin1String("none")) {
        return MidiTrigger{};
    }
    const bool note = words[0] == QLatin1String("note");
    const bool cc = words[0] == QLatin1String("cc");
    if (!(note && words.size() == 3) && !(cc && words.size() == 4)) {
        return std::nullopt;
    }
    MidiTrigger t;
    t.kind = note ? MidiTrigger::Kind::Note : MidiTrigger::Kind::ControlChange;
    bool ok = true;
    if (words[1] != QLatin1String("any")) {
        t.channel = words[1].toInt(&ok) - 1;
        if (!ok || t.channel < 0 || t.channel > 15) {
            return std::nullopt;
        }
    }
    t.number = words[2].toInt(&ok);
    if (!ok || t.number < 0 || t.number > 127) {
        return std::nullopt;
    }
    if (cc) {
        const auto* mode =
            std::find_if(std::begin(kModeNames), std::end(kModeNames),
                         [&](const char* name) { return words[3] == QLatin1String(name); });
        if (mode == std::end(kModeNames)) {
            return std::nullopt;
        }
        t.mode = static_cast<CcMode>(mode - std::begin(kModeNames));
    }
    return t;
}

} // namespace mt
